#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/VexaLangConstants.h"
#include "i18n/VexaLangLangResources.h"
#include "i18n/VexaLangLock.h"
#include "i18n/VexaLangResources.h"
#include "i18n/VexaLangTranslations.h"

class TCustomVexaLanguageController;

// The process-wide holder of the text constants, the available languages, the default and
// the current language, and the registered form controllers. Every method takes the lock
// itself; lookups are safe from any thread.
//
// Language indices: 0 is the default language (the built-in texts), i >= 1 the language
// list's entry i - 1.
class TVexaLanguageManager {
public:
    static constexpr std::uint16_t InitialLanguageId = 1033;

    // Loads the constants stream "VEXALANG_CONSTS" of the module; a module without it
    // leaves the table empty. An invalid stream throws EVexaLangError.
    explicit TVexaLanguageManager(const TResourceModule& module = ProgramModule());
    TVexaLanguageManager(const TVexaLanguageManager&) = delete;
    TVexaLanguageManager& operator=(const TVexaLanguageManager&) = delete;

    // The current text; throws EVexaLangError "Constant "%s" not found".
    std::string ConstantText(std::string_view name) const;
    // Current and default text at once, for formats checked against their default.
    TVexaLang_Constant Constant(std::string_view name) const;
    std::vector<TVexaLang_Constant> ConstantsSnapshot() const;

    std::uint16_t GetDefaultLanguageID() const;
    std::uint16_t GetCurrentLanguageID() const;
    // Nothing is re-applied.
    void SetDefaultLanguageID(std::uint16_t langId);
    // The language switch. An identifier that is neither listed nor the default makes the
    // default current. A language file that fails to load throws, and nothing changes.
    void SetCurrentLanguageID(std::uint16_t langId);
    // The ANSI code page of the current language.
    unsigned CodePage() const;

    int GetLanguageCount() const;
    // Throws EVexaLangError for an index outside 0 .. count - 1.
    std::uint16_t GetLanguageIDByIndex(int index) const;
    // 0 for the default, i + 1 for list entry i, -1 otherwise.
    int IndexOfLanguageID(std::uint16_t langId) const;
    std::string GetLanguageName(int index) const;
    // The file of list entry index - 1; empty for the default language.
    std::string GetLanguageFileName(int index) const;

    // Registers every file of folder matching mask (directories too when recursive);
    // returns how many declared a language. Files are taken in name order.
    int FindLanguageFiles(const std::string& folder, const std::string& mask, bool recursive);
    // False for a missing or unreadable file or one without a LANGID; a file of the default
    // language counts without being listed; a LANGID already listed takes the new file.
    bool AddLanguageFile(const std::string& fileName);
    // None for the default identifier or one not listed; otherwise the listed file, loaded.
    std::unique_ptr<TVexaLang_CompTranslations>
    LoadLanguageTranslations(std::uint16_t langId) const;
    void SetFileReader(std::shared_ptr<TVexaLangFileReader> reader);

    void RegisterController(TCustomVexaLanguageController* controller);
    void UnregisterController(TCustomVexaLanguageController* controller);
    // For a form that finished loading: when the current language is not the default,
    // applies its translations to this one controller.
    void ApplyCurrentLanguageToController(TCustomVexaLanguageController* controller);

private:
    bool IsRegistered(const TCustomVexaLanguageController* controller) const;
    void ApplyTranslations(const TVexaLang_CompTranslations* translations);

    mutable TVexaLangLock Lock;
    TVexaLang_Constants Constants;
    std::vector<TCustomVexaLanguageController*> Controllers;
    TVexaLang_LangResources Languages;
    unsigned CurrentCodePage = 0;
    std::uint16_t DefaultLanguageId = InitialLanguageId;
    std::uint16_t CurrentLanguageId = InitialLanguageId;
    std::shared_ptr<TVexaLangFileReader> FileReader;
};
