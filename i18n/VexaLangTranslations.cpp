#include "i18n/VexaLangTranslations.h"

#include <algorithm>
#include <charconv>

#include "i18n/VexaLangError.h"

namespace {

constexpr std::uint16_t FallbackLanguageId = 1033;

} // namespace

void TVexaLang_CompTranslation::Add(std::int32_t id, const std::string& text) {
    auto it = std::lower_bound(
        Entries.begin(), Entries.end(), id,
        [](const TVexaLang_PropTranslation& entry, std::int32_t key) { return entry.Id < key; });
    if (it != Entries.end() && it->Id == id)
        throw EVexaLangError("Duplicate property value translation ID (" + std::to_string(id) +
                             ")");
    Entries.insert(it, TVexaLang_PropTranslation{id, text, 0});
}

const std::string* TVexaLang_CompTranslation::Find(std::int32_t id) const {
    auto it = std::lower_bound(
        Entries.begin(), Entries.end(), id,
        [](const TVexaLang_PropTranslation& entry, std::int32_t key) { return entry.Id < key; });
    return it != Entries.end() && it->Id == id ? &it->Text : nullptr;
}

TVexaLang_CompTranslations::TVexaLang_CompTranslations()
    : FileConstants([this] {
          std::uint16_t id = LanguageId();
          return id != 0 ? id : FallbackLanguageId;
      }) {}

void TVexaLang_CompTranslations::SetParameter(const std::string& name, const std::string& value) {
    for (auto& parameter : Parameters) {
        if (CompareTextAscii(parameter.first, name) == 0) {
            parameter.second = value;
            return;
        }
    }
    Parameters.emplace_back(name, value);
}

std::string TVexaLang_CompTranslations::Parameter(std::string_view name) const {
    for (const auto& parameter : Parameters)
        if (CompareTextAscii(parameter.first, name) == 0)
            return parameter.second;
    return {};
}

bool TVexaLang_CompTranslations::HasParameter(std::string_view name) const {
    return std::any_of(Parameters.begin(), Parameters.end(), [&](const auto& parameter) {
        return CompareTextAscii(parameter.first, name) == 0;
    });
}

std::uint16_t TVexaLang_CompTranslations::LanguageId() const {
    std::string text = Parameter("LANGID");
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 0xFFFF)
        return 0;
    return static_cast<std::uint16_t>(value);
}

TVexaLang_CompTranslation& TVexaLang_CompTranslations::AddSection(const std::string& name) {
    for (auto& section : Sections)
        if (CompareTextAscii(section->SectionName(), name) == 0)
            return *section;
    Sections.push_back(std::make_unique<TVexaLang_CompTranslation>(name));
    return *Sections.back();
}

const TVexaLang_CompTranslation*
TVexaLang_CompTranslations::FindSection(std::string_view name) const {
    for (const auto& section : Sections)
        if (CompareTextAscii(section->SectionName(), name) == 0)
            return section.get();
    return nullptr;
}
