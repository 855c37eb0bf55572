// The settings of the preferences window: a colour ("BNRTableBackgroundColor", stored as data:
// the colour's #AARRGGBB name in bytes), whether the cover slideshow animates its changes
// ("BNREmptyDocumentFlag"), whether each song is announced by a desktop notification
// ("TonveraSongNotifications") and whether closing the window leaves the music playing in the tray
// ("TonveraCloseToTray"; it applies only where the desktop has a tray) and whether the lyrics show on
// the desktop ("TonveraDesktopLyrics", off while unset), and the language ("TonveraLanguage": "zh",
// "en", or unset to follow the locale; see platform/language.h; it applies at the next start). Notifications and the tray are on while unset
// (or damaged). Reset removes all six from the user's settings so the registered values (and those
// defaults) apply again. Every change through these functions posts "TonveraPreferencesChanged", so
// whatever shows a setting (the preferences window, the tray, the desktop lyrics) follows it.
//
// Threads: main thread only (the settings store is the main thread's).
#pragma once

#include <QColor>
#include <optional>
#include <string>

#include "platform/plist.h"

namespace tonvera {

class UserDefaults;

inline constexpr const char* kTableBackgroundColorKey = "BNRTableBackgroundColor";
inline constexpr const char* kEmptyDocumentFlagKey = "BNREmptyDocumentFlag";
inline constexpr const char* kSongNotificationsKey = "TonveraSongNotifications";
inline constexpr const char* kCloseToTrayKey = "TonveraCloseToTray";
inline constexpr const char* kDesktopLyricsKey = "TonveraDesktopLyrics";
inline constexpr const char* kPreferencesChangedNotification = "TonveraPreferencesChanged";

// The stored form of a colour, and back (nothing for data that is not a colour).
PlistValue::Data archiveColor(const QColor& color);
std::optional<QColor> unarchiveColor(const PlistValue& value);

struct Preferences {
  static QColor preferenceTableBgColor(UserDefaults& defaults);
  static void setPreferenceTableBgColor(UserDefaults& defaults, const QColor& color);
  static bool preferenceEmptyDoc(UserDefaults& defaults);
  static void setPreferenceEmptyDoc(UserDefaults& defaults, bool on);
  static bool songNotifications(UserDefaults& defaults);
  static void setSongNotifications(UserDefaults& defaults, bool on);
  static bool closeToTray(UserDefaults& defaults);
  static void setCloseToTray(UserDefaults& defaults, bool on);
  // "zh", "en", or "" (the locale decides).
  static std::string language(UserDefaults& defaults);
  static void setLanguage(UserDefaults& defaults, const std::string& code);
  static bool desktopLyrics(UserDefaults& defaults);
  static void setDesktopLyrics(UserDefaults& defaults, bool on);
  // Back to the registered values.
  static void resetPreferences(UserDefaults& defaults);
};

}  // namespace tonvera
