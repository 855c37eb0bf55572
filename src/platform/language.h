// The language the program speaks. Its own texts are Chinese (the source texts of every tr()); an
// English translation is compiled in. English is chosen for an English locale: the first entry of
// LANGUAGE when it is set, else the first of LC_ALL, LC_MESSAGES and LANG that is set; "en" or
// "en_*" there means English, anything else (or nothing) Chinese. The setting "TonveraLanguage"
// ("zh" or "en"; the preferences window's choice) overrides the locale.
//
// Texts the service sends (songs, artists, albums, channels), log lines and usage reports are never
// translated.
//
// Threads: main thread, before the first window or page is built.
#pragma once

#include <functional>

namespace tonvera {

class UserDefaults;

enum class Language { Chinese, English };

inline constexpr const char* kLanguageKey = "TonveraLanguage";

// The language an environment asks for (`getenv` reads one variable; nullptr when unset).
Language languageOfEnvironment(const std::function<const char*(const char*)>& getenv);
// The setting when it names a language, else the process environment's.
Language chosenLanguage(UserDefaults& defaults);

// Installs the translation for `language` into the running application (Chinese needs none) and
// makes it the current language. False when the translation cannot be loaded (Chinese stays).
bool useLanguage(Language language);
// The language installed last (Chinese until useLanguage says otherwise).
Language currentLanguage();

}  // namespace tonvera
