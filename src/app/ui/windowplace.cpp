#include "app/ui/windowplace.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "platform/userdefaults.h"

namespace tonvera {

QPoint clampToScreens(QPoint wanted, QSize size, const QList<QRect>& screens) {
  if (screens.isEmpty()) return wanted;
  const QRect window(wanted, size);
  QRect best = screens.front();
  qint64 bestArea = 0;
  for (const QRect& screen : screens) {
    const QRect overlap = screen.intersected(window);
    const qint64 area = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
    if (area > bestArea) {
      bestArea = area;
      best = screen;
    }
  }
  // Right and bottom first, then left and top: a window larger than the screen keeps its title
  // corner visible.
  int x = std::min(wanted.x(), best.x() + best.width() - size.width());
  int y = std::min(wanted.y(), best.y() + best.height() - size.height());
  x = std::max(x, best.x());
  y = std::max(y, best.y());
  return {x, y};
}

// Wayland compositors place windows themselves and tell no client where: there the remembered
// place is neither applied nor overwritten with the position Qt reports (which means nothing).
static bool compositorPlacesWindows() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

std::optional<QPoint> savedWindowOrigin(UserDefaults& defaults) {
  const PlistValue::Dict origin = defaults.dictionaryForKey(kWindowOriginKey);
  const auto x = origin.find("x");
  const auto y = origin.find("y");
  if (x == origin.end() || y == origin.end() || !x->second.isInteger() || !y->second.isInteger())
    return std::nullopt;
  return QPoint(static_cast<int>(x->second.toInteger()), static_cast<int>(y->second.toInteger()));
}

void restoreWindowPosition(QWidget& window, UserDefaults& defaults) {
  if (compositorPlacesWindows()) return;
  const std::optional<QPoint> saved = savedWindowOrigin(defaults);
  if (!saved) return;
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  window.move(clampToScreens(*saved, window.frameGeometry().size().expandedTo(window.size()), screens));
}

void saveWindowPosition(const QWidget& window, UserDefaults& defaults) {
  if (compositorPlacesWindows()) return;
  const QPoint origin = window.pos();
  defaults.set(kWindowOriginKey,
               PlistValue(PlistValue::Dict{{"x", PlistValue(origin.x())}, {"y", PlistValue(origin.y())}}));
  defaults.synchronize();
}

}  // namespace tonvera

namespace tonvera {
void bringWindowForward(QWidget& window) {
  window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.show();
  window.raise();
  window.activateWindow();
}
}  // namespace tonvera
