#include "i18n/VexaLang.h"

TVexaLanguageManager* LangManager() {
    // Created on first use and kept to the end of the program.
    static TVexaLanguageManager manager;
    return &manager;
}

std::string GetLangConstant(const std::string& name) {
    return LangManager()->ConstantText(name);
}
