// Profile (.rpr) and preset files. A profile file that loads is saved, and the saved file
// must load back to the same settings and save to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzFiles.h"
#include "engine/RecClassesPresets.h"
#include "engine/RecClassesProfiles.h"
#include "engine/RecClassesSettings.h"

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInputFile(".rpr", data, size);

    TQualityPresetList quality;
    TVasPresetList vas;
    TAmpPresetList amp;
    LoadQualityPresets(path, 1033, quality);
    LoadVasPresets(path, 1049, vas);
    LoadAmpPresets(path, 1031, amp);

    // The model the file names decides what it may hold; try the ones the demo and the
    // tests use.
    for (std::uint8_t model : {std::uint8_t{1}, std::uint8_t{3}, std::uint8_t{5}}) {
        TRecSettings loaded;
        if (!ReadProfileFile(path, loaded, model).Ok())
            continue;
        const std::string saved = fuzz::ScratchPath(".rpr");
        if (!SaveProfileFile(saved, loaded, model))
            continue;
        const std::string savedBytes = FileBytes(saved);
        TRecSettings reloaded;
        if (!ReadProfileFile(saved, reloaded, model).Ok() || reloaded.ToBytes() != loaded.ToBytes())
            std::abort(); // what was saved does not load back as it was
        if (!SaveProfileFile(saved, reloaded, model) || FileBytes(saved) != savedBytes)
            std::abort();
    }
    return 0;
}
