#include "i18n/VexaLangLangResources.h"

void TVexaLang_LangResources::Register(std::uint16_t langId, const std::string& fileName) {
    int index = IndexOf(langId);
    if (index >= 0)
        Items[index].FileName = fileName;
    else
        Items.push_back({langId, fileName});
}

int TVexaLang_LangResources::IndexOf(std::uint16_t langId) const {
    for (int i = 0; i < Count(); ++i)
        if (Items[i].LangId == langId)
            return i;
    return -1;
}
