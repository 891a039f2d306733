#include "i18n/VexaLangResources.h"

#include "i18n/VexaLangBuiltIn.h"
#include "i18n/VexaLangConstants.h"

namespace {

std::string ResourceKey(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return key;
}

// The built-in constants as the stream the program's resource holds.
std::vector<std::uint8_t> BuildConstantsResource() {
    TVexaLang_Constants table;
    for (const TBuiltInConstant& constant : BuiltInConstants())
        table.Add(constant.Name, constant.Text);
    return table.WriteConstantsStream();
}

} // namespace

void TResourceModule::AddResource(const std::string& name, std::vector<std::uint8_t> bytes) {
    Resources[ResourceKey(name)] = std::move(bytes);
}

const std::vector<std::uint8_t>* TResourceModule::FindResource(const std::string& name) const {
    auto it = Resources.find(ResourceKey(name));
    return it != Resources.end() ? &it->second : nullptr;
}

const TResourceModule& ProgramModule() {
    static const TResourceModule module = [] {
        TResourceModule built;
        built.AddResource(ConstantsResourceName, BuildConstantsResource());
        return built;
    }();
    return module;
}
