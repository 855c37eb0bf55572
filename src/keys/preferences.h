// The two settings of the preferences window: a colour ("BNRTableBackgroundColor", stored as data:
// the colour's #AARRGGBB name in bytes) and whether the cover slideshow animates its changes
// ("BNREmptyDocumentFlag"). Reset removes both from the user's settings so the registered values
// apply again.
//
// Threads: main thread only (the settings store is the main thread's).
#pragma once

#include <QColor>
#include <optional>

#include "platform/plist.h"

namespace tonvera {

class UserDefaults;

inline constexpr const char* kTableBackgroundColorKey = "BNRTableBackgroundColor";
inline constexpr const char* kEmptyDocumentFlagKey = "BNREmptyDocumentFlag";

// The stored form of a colour, and back (nothing for data that is not a colour).
PlistValue::Data archiveColor(const QColor& color);
std::optional<QColor> unarchiveColor(const PlistValue& value);

struct Preferences {
  static QColor preferenceTableBgColor(UserDefaults& defaults);
  static void setPreferenceTableBgColor(UserDefaults& defaults, const QColor& color);
  static bool preferenceEmptyDoc(UserDefaults& defaults);
  static void setPreferenceEmptyDoc(UserDefaults& defaults, bool on);
  // Back to the registered values.
  static void resetPreferences(UserDefaults& defaults);
};

}  // namespace tonvera
