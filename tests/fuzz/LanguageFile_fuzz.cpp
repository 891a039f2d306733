// A language file: decoding (BOM, UTF-8, UTF-16, ANSI) and the parse, header only and whole.
#include <cstdint>
#include <string_view>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangTranslations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool parametersOnly : {true, false}) {
        TVexaLang_CompTranslations target;
        try {
            ParseLanguageText(DecodeLanguageFileText(bytes), target, parametersOnly);
            target.LanguageId();
        } catch (const EVexaLangError&) {
            // a refused file is an answer
        }
    }
    return 0;
}
