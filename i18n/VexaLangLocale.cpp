#include "i18n/VexaLangLocale.h"

#include "platform/CodePage.h"

unsigned CodePageOfLanguage(std::uint16_t langId) {
    unsigned codePage = AnsiCodePageOfLanguageId(langId);
    return codePage != 0 ? codePage : SystemAnsiCodePage();
}

std::string LanguageDisplayName(std::uint16_t langId) {
    std::string name = LanguageNameOfId(langId);
    return name.empty() ? std::to_string(langId) : name;
}
