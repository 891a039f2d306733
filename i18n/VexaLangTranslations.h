#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "i18n/VexaLangConstants.h"

// One translated property text of a form section.
struct TVexaLang_PropTranslation {
    std::int32_t Id = 0;
    std::string Text;
    std::uint8_t Flag = 0;
};

// One component section of a language file: texts by property identifier.
class TVexaLang_CompTranslation {
public:
    explicit TVexaLang_CompTranslation(std::string sectionName) : Name(std::move(sectionName)) {}

    const std::string& SectionName() const { return Name; }
    // Throws EVexaLangError "Duplicate property value translation ID (%d)".
    void Add(std::int32_t id, const std::string& text);
    // nullptr when the section has no text for the identifier.
    const std::string* Find(std::int32_t id) const;
    int Count() const { return static_cast<int>(Entries.size()); }
    const TVexaLang_PropTranslation& Item(int index) const { return Entries.at(index); }

private:
    std::string Name;
    std::vector<TVexaLang_PropTranslation> Entries; // ascending identifiers
};

// One loaded language file: its header parameters, its constants and its form sections.
// Not copyable: the constants table asks this object for its LANGID.
class TVexaLang_CompTranslations {
public:
    TVexaLang_CompTranslations();
    TVexaLang_CompTranslations(const TVexaLang_CompTranslations&) = delete;
    TVexaLang_CompTranslations& operator=(const TVexaLang_CompTranslations&) = delete;

    // Header parameters; names compared without regard to ASCII case.
    void SetParameter(const std::string& name, const std::string& value);
    // Empty when absent.
    std::string Parameter(std::string_view name) const;
    bool HasParameter(std::string_view name) const;
    // The "LANGID" parameter in decimal; 0 when absent or not a number.
    std::uint16_t LanguageId() const;

    TVexaLang_Constants& Constants() { return FileConstants; }
    const TVexaLang_Constants& Constants() const { return FileConstants; }

    // An existing section of that name (ASCII case-insensitive) is continued.
    TVexaLang_CompTranslation& AddSection(const std::string& name);
    const TVexaLang_CompTranslation* FindSection(std::string_view name) const;
    int SectionCount() const { return static_cast<int>(Sections.size()); }
    const TVexaLang_CompTranslation& Section(int index) const { return *Sections.at(index); }

private:
    std::vector<std::unique_ptr<TVexaLang_CompTranslation>> Sections;
    TVexaLang_Constants FileConstants;
    std::vector<std::pair<std::string, std::string>> Parameters;
};

// Reads language files for the manager; the language-file parser implements it.
class TVexaLangFileReader {
public:
    virtual ~TVexaLangFileReader() = default;
    // The file's "LANGID" header parameter; 0 when absent or not a number.
    virtual std::uint16_t ReadLanguageId(const std::string& fileName) = 0;
    // The whole file; throws EVexaLangError (or a file error) when it cannot be loaded.
    virtual std::unique_ptr<TVexaLang_CompTranslations>
    LoadTranslations(const std::string& fileName) = 0;
};
