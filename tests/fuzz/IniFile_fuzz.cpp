// An INI file (settings, profiles, presets): every section and value read; one key written
// and the file updated; what was there reads back unchanged beside the new key.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "FuzzFiles.h"
#include "platform/IniFile.h"

namespace {

using TEntries = std::vector<std::tuple<std::string, std::string, std::string>>;

// Every section's keys with the value a read gives (the first duplicate wins).
TEntries ReadEverything(const TIniFile& ini) {
    TEntries entries;
    for (const std::string& section : ini.ReadSections()) {
        for (const std::string& key : ini.ReadSection(section)) {
            entries.emplace_back(section, key, ini.ReadString(section, key, "\x01"));
            ini.ReadInteger(section, key, -1);
            ini.ReadBool(section, key, false);
        }
        ini.ReadSectionValues(section);
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInputFile(".ini", data, size);
    TEntries before;
    {
        TIniFile ini(path);
        before = ReadEverything(ini);
        if (ini.ValueExists("QuorvexFuzz", "Added"))
            return 0;
        ini.WriteString("QuorvexFuzz", "Added", "value 1");
        if (!ini.UpdateFile())
            return 0;
    }
    TIniFile again(path);
    if (again.ReadString("QuorvexFuzz", "Added", "") != "value 1")
        std::abort();
    for (const auto& [section, key, value] : before)
        if (again.ReadString(section, key, "\x01") != value)
            std::abort();
    return 0;
}
