#include "i18n/VexaLang.h"

TVexaLanguageManager* LangManager() {
    // Created on first use and kept to the end of the program.
    static TVexaLanguageManager manager;
    return &manager;
}

std::string GetLangConstant(const std::string& name) {
    return LangManager()->ConstantText(name);
}

std::string FormatLangConstantArgs(const std::string& name, const std::vector<TFormatArg>& args) {
    TVexaLang_Constant constant = LangManager()->Constant(name);
    return FormatText(constant.Value, constant.DefaultValue, args);
}
