#include "keys/preferences.h"

#include "platform/language.h"
#include "platform/notificationcenter.h"
#include "platform/userdefaults.h"

namespace tonvera {
namespace {

void announce() { NotificationCenter::defaultCenter().post(kPreferencesChangedNotification); }

}  // namespace

PlistValue::Data archiveColor(const QColor& color) {
  const std::string name = color.name(QColor::HexArgb).toStdString();
  return PlistValue::Data(name.begin(), name.end());
}

std::optional<QColor> unarchiveColor(const PlistValue& value) {
  if (!value.isData() || value.data().size() > 32) return std::nullopt;
  const std::string name(value.data().begin(), value.data().end());
  QColor color(QString::fromStdString(name));
  if (!color.isValid()) return std::nullopt;
  return color;
}

QColor Preferences::preferenceTableBgColor(UserDefaults& defaults) {
  const auto stored = defaults.object(kTableBackgroundColorKey);
  const auto color = stored ? unarchiveColor(*stored) : std::nullopt;
  return color.value_or(QColor(Qt::yellow));  // damaged data reads as the registered colour
}

void Preferences::setPreferenceTableBgColor(UserDefaults& defaults, const QColor& color) {
  defaults.set(kTableBackgroundColorKey, PlistValue(archiveColor(color)));
  announce();
}

bool Preferences::preferenceEmptyDoc(UserDefaults& defaults) { return defaults.boolForKey(kEmptyDocumentFlagKey); }

void Preferences::setPreferenceEmptyDoc(UserDefaults& defaults, bool on) {
  defaults.set(kEmptyDocumentFlagKey, PlistValue(on));
  announce();
}

namespace {

// A switch that is on unless the listener turned it off.
bool onUnlessOff(UserDefaults& defaults, const char* key) {
  const std::optional<PlistValue> value = defaults.object(key);
  return !value || !value->isBool() || value->toBool();
}

}  // namespace

bool Preferences::songNotifications(UserDefaults& defaults) {
  return onUnlessOff(defaults, kSongNotificationsKey);
}

void Preferences::setSongNotifications(UserDefaults& defaults, bool on) {
  defaults.set(kSongNotificationsKey, PlistValue(on));
  announce();
}

bool Preferences::closeToTray(UserDefaults& defaults) { return onUnlessOff(defaults, kCloseToTrayKey); }

void Preferences::setCloseToTray(UserDefaults& defaults, bool on) {
  defaults.set(kCloseToTrayKey, PlistValue(on));
  announce();
}

std::string Preferences::language(UserDefaults& defaults) {
  const std::string code = defaults.stringForKey(kLanguageKey);
  return code == "zh" || code == "en" ? code : std::string();
}

void Preferences::setLanguage(UserDefaults& defaults, const std::string& code) {
  if (code.empty()) {
    defaults.remove(kLanguageKey);
  } else {
    defaults.set(kLanguageKey, PlistValue(code));
  }
  announce();
}

bool Preferences::desktopLyrics(UserDefaults& defaults) { return defaults.boolForKey(kDesktopLyricsKey); }

void Preferences::setDesktopLyrics(UserDefaults& defaults, bool on) {
  defaults.set(kDesktopLyricsKey, PlistValue(on));
  announce();
}

void Preferences::resetPreferences(UserDefaults& defaults) {
  defaults.remove(kTableBackgroundColorKey);
  defaults.remove(kEmptyDocumentFlagKey);
  defaults.remove(kSongNotificationsKey);
  defaults.remove(kCloseToTrayKey);
  defaults.remove(kDesktopLyricsKey);
  defaults.remove(kLanguageKey);
  announce();
}

}  // namespace tonvera
