// Where the window goes on screen: its top-left corner is kept in the settings
// ("TonveraWindowOrigin", {x, y}) when the program quits and restored at the next start, moved so
// the whole window lies on a screen that is still there (screens come and go between runs). Not
// under Wayland, where the compositor places windows.
//
// Threads: main thread only.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <optional>

namespace tonvera {

class UserDefaults;

inline constexpr const char* kWindowOriginKey = "TonveraWindowOrigin";

// The origin for a window of `size` wanted at `wanted`, kept inside the screen it overlaps most
// (the first screen when it overlaps none). `screens` are the screens' available areas.
QPoint clampToScreens(QPoint wanted, QSize size, const QList<QRect>& screens);

// The saved origin, if any.
std::optional<QPoint> savedWindowOrigin(UserDefaults& defaults);
// Moves the window to its saved place on the present screens; without one it stays where it is.
void restoreWindowPosition(QWidget& window, UserDefaults& defaults);
void saveWindowPosition(const QWidget& window, UserDefaults& defaults);

}  // namespace tonvera

namespace tonvera {
// Shows the window (un-minimised), raises it and asks for the focus: a second start, the sound
// menu's Raise.
void bringWindowForward(QWidget& window);
}  // namespace tonvera
