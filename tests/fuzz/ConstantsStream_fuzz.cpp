// The text-constants stream: a stream that loads is written again and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "i18n/VexaLangConstants.h"
#include "i18n/VexaLangError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TVexaLang_Constants constants;
    try {
        constants.ReadConstantsStream(std::span<const std::uint8_t>(data, size));
    } catch (const EVexaLangError&) {
        if (constants.Count() != 0)
            std::abort(); // a refused stream leaves the table as it was
        return 0;
    }
    const std::vector<std::uint8_t> written = constants.WriteConstantsStream();
    TVexaLang_Constants again;
    again.ReadConstantsStream(written);
    if (again.Count() != constants.Count() || again.WriteConstantsStream() != written)
        std::abort();
    return 0;
}
