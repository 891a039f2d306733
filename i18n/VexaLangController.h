#pragma once

#include <string>

class TVexaLang_CompTranslation;

// What the language manager needs of a form's translation controller. The controller of a
// form registers itself with the manager for its whole life.
class TCustomVexaLanguageController {
public:
    virtual ~TCustomVexaLanguageController() = default;

    // The language-file section of the controller's form.
    virtual std::string SectionName() const = 0;
    // Fires the controller's OnLanguageChanging event.
    virtual void LanguageChanging() = 0;
    // Writes the section's texts into the form; without a section, or for a property the
    // section lacks, the form's stored default text.
    virtual void ApplyLanguage(const TVexaLang_CompTranslation* section) = 0;
    // Fires the controller's OnLanguageChanged event.
    virtual void LanguageChanged() = 0;
};
