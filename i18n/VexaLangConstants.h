#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TResourceModule;

struct TVexaLang_Constant {
    std::string Name;
    std::string Value;        // the current text
    std::string DefaultValue; // the text the constant was added with
    std::uint8_t Flags = 0;   // 0 for every constant the program creates
};

// The constants table: entries sorted by name (ASCII case folded, then ordinal), so lookups
// are a binary search and names are unique without regard to case.
class TVexaLang_Constants {
public:
    // The language (LANGID) whose code page the values of an old 8-bit stream are in.
    using TLanguageIdSource = std::function<std::uint16_t()>;

    static constexpr std::uint8_t CurrentStreamVersion = 3;

    // Without a source the table assumes 1033.
    explicit TVexaLang_Constants(TLanguageIdSource languageIdSource = {});

    // Validates and inserts; value and default value both become value. Returns the index.
    // Throws EVexaLangError "Invalid constant name ("%s")" or "Duplicate constant name ("%s")".
    int Add(const std::string& name, const std::string& value, std::uint8_t flags = 0);
    // When not found, index is the insertion position.
    bool IndexOfName(std::string_view name, int& index) const;
    // Throws EVexaLangError "Constant "%s" not found".
    const TVexaLang_Constant& FindConstant(std::string_view name) const;
    std::string GetValueByName(std::string_view name) const;

    // Replaces the table with the stream's constants (versions 0 to 3). On any error the
    // table is left as it was.
    void ReadConstantsStream(std::span<const std::uint8_t> stream);
    // The current stream version: version, auto-save flag, count, then UTF-16 name/value
    // pairs of the default texts.
    std::vector<std::uint8_t> WriteConstantsStream() const;
    // False, and nothing changes, when the module has no resource of that name.
    bool LoadFromResource(const TResourceModule& module, const std::string& resourceName);

    // Without another table every value returns to its default; with one, each constant the
    // other table holds takes its value and the rest keep theirs.
    void TranslateFrom(const TVexaLang_Constants* other);

    void Clear() { Items.clear(); }
    int Count() const { return static_cast<int>(Items.size()); }
    const TVexaLang_Constant& Item(int index) const { return Items.at(index); }
    bool AutoSave() const { return AutoSaveFlag; }
    void SetAutoSave(bool autoSave) { AutoSaveFlag = autoSave; }

    // Not empty; a letter or "_" first; then letters, decimal digits or "_" (any script).
    static bool IsValidName(std::string_view name);

private:
    std::uint16_t SourceLanguageId() const;

    std::vector<TVexaLang_Constant> Items;
    bool AutoSaveFlag = true;
    TLanguageIdSource LanguageIdSource;
};

// The framework's case-insensitive text order: ASCII letters folded, then ordinal.
int CompareTextAscii(std::string_view a, std::string_view b);
