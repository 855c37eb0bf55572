#include "platform/language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/log.h"
#include "platform/userdefaults.h"

namespace tonvera {
namespace {

Language gCurrent = Language::Chinese;

bool isEnglish(std::string_view locale) {
  return locale.substr(0, 2) == "en" && (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
}

}  // namespace

Language languageOfEnvironment(const std::function<const char*(const char*)>& getenv) {
  if (const char* list = getenv("LANGUAGE"); list != nullptr && *list != '\0') {
    const std::string_view all(list);
    return isEnglish(all.substr(0, all.find(':'))) ? Language::English : Language::Chinese;
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = getenv(name); value != nullptr && *value != '\0') {
      return isEnglish(value) ? Language::English : Language::Chinese;
    }
  }
  return Language::Chinese;
}

Language chosenLanguage(UserDefaults& defaults) {
  const std::string chosen = defaults.stringForKey(kLanguageKey);
  if (chosen == "en") return Language::English;
  if (chosen == "zh") return Language::Chinese;
  return languageOfEnvironment([](const char* name) { return std::getenv(name); });
}

bool useLanguage(Language language) {
  // One translator at a time; it takes itself out of the application when it goes.
  static std::unique_ptr<QTranslator> installed;
  installed.reset();
  gCurrent = Language::Chinese;
  if (language == Language::Chinese) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral(":/i18n/tonvera_en.qm"))) {
    log("no English translation compiled in; the texts stay Chinese");
    return false;
  }
  installed = std::move(translator);
  QCoreApplication::installTranslator(installed.get());
  gCurrent = language;
  return true;
}

Language currentLanguage() { return gCurrent; }

}  // namespace tonvera
