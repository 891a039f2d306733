#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TVexaLang_LangResource {
    std::uint16_t LangId = 0;
    std::string FileName;
};

// The available language files: at most one per LANGID, in order of registration.
class TVexaLang_LangResources {
public:
    // A LANGID already listed keeps its place and takes the new file name.
    void Register(std::uint16_t langId, const std::string& fileName);
    // -1 when not listed.
    int IndexOf(std::uint16_t langId) const;
    int Count() const { return static_cast<int>(Items.size()); }
    const TVexaLang_LangResource& Item(int index) const { return Items.at(index); }

private:
    std::vector<TVexaLang_LangResource> Items;
};
