#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <QObject>

#include "i18n/VexaLangCompEntry.h"
#include "i18n/VexaLangController.h"

class QWidget;
class TVexaLanguageManager;
struct TVexaLangTextProperty;

enum TVexaLanguageControllerOption : unsigned {
    vexalcoAutoSaveLangSource = 1u << 0, // kept; no effect at run time
    vexalcoIgnoreEmptyProps = 1u << 1,
    vexalcoIgnoreNonAlphaProps = 1u << 2,
    vexalcoIgnoreFontProps = 1u << 3, // fonts are never translated here
};
using TVexaLanguageControllerOptions = unsigned;
constexpr TVexaLanguageControllerOptions AllVexaLanguageControllerOptions = 0xF;

// The translation controller of one form: a child object of the form (named
// "VexaLanguageController1" by the program's forms) that keeps a tree of the form's named
// components with an identifier for every translatable text, remembers the texts the form
// was created with, and writes a language's texts into the form.
//
// A form creates it after its widgets, sets the lists, optionally reads the form's stored
// "LangData", then calls Loaded():
//     auto* controller = new TVexaLanguageController(this);
//     controller->SetIgnoreList({"*.Font.Name", "Label1.*"});
//     controller->Loaded();
// Without "LangData", Loaded() derives each identifier from the text's mask path (at most
// eight digits), so a language file stays valid when components are added, removed or
// reordered; only renaming a component or a property changes its identifier. With
// "LangData" the stored identifiers hold, and WriteLangData() numbers new texts after the
// largest identifier of the tree.
class TVexaLanguageController : public QObject, public TCustomVexaLanguageController {
public:
    using TNotifyEvent = std::function<void(TVexaLanguageController& sender)>;

    // Registers with the manager (LangManager() when none is given) for its whole life.
    explicit TVexaLanguageController(QWidget* owner, TVexaLanguageManager* manager = nullptr);
    ~TVexaLanguageController() override;

    // Wildcard masks of mask paths (component path, ".", property path); kept sorted,
    // duplicates dropped.
    const std::vector<std::string>& IgnoreList() const { return Ignore; }
    void SetIgnoreList(std::vector<std::string> masks);
    const std::vector<std::string>& StoreList() const { return Store; }
    void SetStoreList(std::vector<std::string> masks);
    TVexaLanguageControllerOptions Options() const { return ControllerOptions; }
    void SetOptions(TVexaLanguageControllerOptions options) { ControllerOptions = options; }
    const std::string& SectionNameProperty() const { return Section; }
    void SetSectionName(std::string name) { Section = std::move(name); }

    TNotifyEvent OnLanguageChanging;
    TNotifyEvent OnLanguageChanged;

    // "LangData": reading replaces the tree (a damaged stream throws and changes nothing);
    // writing first captures the form in adding mode. Empty when the form has no name.
    void ReadLangData(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> WriteLangData();

    // The form is complete: binds the tree to its components, captures the default texts
    // and applies the current language.
    void Loaded();

    // The form's texts as language-source lines: "[section]", then
    // "path=%.8d,escaped default text" for every property, depth first.
    void WriteLanguageSource(std::vector<std::string>& lines) const;

    const TVexaLang_CompEntry& Root() const { return RootEntry; }

    // TCustomVexaLanguageController
    std::string SectionName() const override;
    void LanguageChanging() override;
    void ApplyLanguage(const TVexaLang_CompTranslation* section) override;
    void LanguageChanged() override;

private:
    enum class TCaptureMode { Adding, Updating };
    enum class TNumbering { Sequential, ByPath };
    struct TMaskLists;
    class TWalkGuard;

    void BindTree();
    void BindChildren(TVexaLang_CompEntry& entry);
    void BindEntry(TVexaLang_CompEntry& entry, QObject* component);
    void Capture(TCaptureMode mode, TNumbering numbering = TNumbering::Sequential);
    std::int32_t NewId(const std::string& maskPath);
    void CaptureEntry(TVexaLang_CompEntry& entry, TCaptureMode mode, const TMaskLists& masks);
    void CaptureProperty(TVexaLang_CompEntry& entry, const TVexaLangTextProperty& property,
                         TCaptureMode mode, const TMaskLists& masks);
    bool PassesFilter(const std::string& value) const;
    void ApplyEntry(TVexaLang_CompEntry& entry, const TVexaLang_CompTranslation* section);
    // The named components an entry's component owns: for the form, its named descendants
    // outside nested forms, first of each name only; none below the form.
    std::vector<QObject*> OwnedComponents(const TVexaLang_CompEntry& entry) const;
    void RemoveDeletedEntries(TVexaLang_CompEntry& entry);

    QWidget* Owner;
    TVexaLanguageManager* Manager;
    TVexaLang_CompEntry RootEntry;
    std::vector<std::string> Ignore;
    std::vector<std::string> Store;
    TVexaLanguageControllerOptions ControllerOptions = AllVexaLanguageControllerOptions;
    std::string Section;
    bool HasLangData = false;
    std::int32_t NextId = 1;
    TNumbering Numbering = TNumbering::Sequential;
    std::set<std::int32_t> UsedIds; // during a capture in adding mode
    int WalkDepth = 0;
    bool RemovalPending = false;
};
