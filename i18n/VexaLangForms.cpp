#include "i18n/VexaLangForms.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include <QDialog>
#include <QMainWindow>
#include <QWidget>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangError.h"
#include "i18n/VexaLangEscape.h"
#include "i18n/VexaLangQtProperties.h"
#include "i18n/VexaLangStream.h"
#include "platform/CodePage.h"
#include "platform/WildcardMask.h"

namespace {

constexpr const char* DefaultControllerName = "VexaLanguageController1";

std::vector<std::string> SortedUnique(std::vector<std::string> masks) {
    std::sort(masks.begin(), masks.end(), [](const std::string& a, const std::string& b) {
        return CompareTextAscii(a, b) < 0;
    });
    masks.erase(std::unique(masks.begin(), masks.end(),
                            [](const std::string& a, const std::string& b) {
                                return CompareTextAscii(a, b) == 0;
                            }),
                masks.end());
    return masks;
}

bool MatchesAny(const std::vector<std::string>& masks, const std::string& path) {
    return std::any_of(masks.begin(), masks.end(),
                       [&](const std::string& mask) { return MatchesMask(path, mask); });
}

bool HasOwnController(const QObject* object) {
    for (const QObject* child : object->children())
        if (dynamic_cast<const TVexaLanguageController*>(child) != nullptr)
            return true;
    return false;
}

// Another form placed inside this one translates itself.
bool IsNestedForm(const QObject* object) {
    return qobject_cast<const QDialog*>(object) != nullptr ||
           qobject_cast<const QMainWindow*>(object) != nullptr || HasOwnController(object);
}

void CollectNamedDescendants(const QObject* parent, std::vector<QObject*>& out,
                             std::vector<QString>& names) {
    for (QObject* child : parent->children()) {
        if (dynamic_cast<TVexaLanguageController*>(child) != nullptr || IsNestedForm(child))
            continue;
        const QString name = child->objectName();
        // Qt's own helper objects are no components of the form.
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
            out.push_back(child);
        }
        CollectNamedDescendants(child, out, names);
    }
}

// Identifiers derived from paths keep to eight decimal digits.
constexpr std::int32_t MaxPathIdentifier = 99999999;

// FNV-1a over the path with ASCII letters folded, as paths compare without regard to case.
std::int32_t PathIdentifier(const std::string& maskPath) {
    std::uint32_t hash = 2166136261u;
    for (char c : maskPath) {
        const char folded = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        hash = (hash ^ static_cast<unsigned char>(folded)) * 16777619u;
    }
    return static_cast<std::int32_t>(hash % MaxPathIdentifier) + 1;
}

std::string FormatId(std::int32_t id) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.8d", static_cast<int>(id));
    return buffer;
}

} // namespace

struct TVexaLanguageController::TMaskLists {
    std::vector<std::string> Ignore;
    std::vector<std::string> Store;
};

// Entries of components deleted during a walk (a handler run by a text change) are taken
// out only after it, so that no entry disappears under the walk.
class TVexaLanguageController::TWalkGuard {
public:
    explicit TWalkGuard(TVexaLanguageController& controller) : Controller(controller) {
        ++Controller.WalkDepth;
    }
    ~TWalkGuard() {
        if (--Controller.WalkDepth > 0 || !Controller.RemovalPending)
            return;
        Controller.RemovalPending = false;
        Controller.RemoveDeletedEntries(Controller.RootEntry);
    }

private:
    TVexaLanguageController& Controller;
};

TVexaLanguageController::TVexaLanguageController(QWidget* owner, TVexaLanguageManager* manager)
    : QObject(owner), Owner(owner), Manager(manager != nullptr ? manager : LangManager()) {
    setObjectName(DefaultControllerName);
    RootEntry.Bind(owner);
    Manager->RegisterController(this);
}

TVexaLanguageController::~TVexaLanguageController() {
    Manager->UnregisterController(this);
}

void TVexaLanguageController::SetIgnoreList(std::vector<std::string> masks) {
    Ignore = SortedUnique(std::move(masks));
}

void TVexaLanguageController::SetStoreList(std::vector<std::string> masks) {
    Store = SortedUnique(std::move(masks));
}

void TVexaLanguageController::ReadLangData(std::span<const std::uint8_t> bytes) {
    TVexaLangStreamReader reader(bytes);
    RootEntry.Read(reader);
    HasLangData = true;
}

std::vector<std::uint8_t> TVexaLanguageController::WriteLangData() {
    if (RootEntry.Component() == nullptr || RootEntry.Name().empty())
        return {};
    Capture(TCaptureMode::Adding);
    TVexaLangStreamWriter writer;
    RootEntry.Write(writer);
    return writer.TakeData();
}

void TVexaLanguageController::Loaded() {
    BindTree();
    const bool emptyTree = RootEntry.Properties() == nullptr && RootEntry.ChildCount() == 0;
    // A form without stored "LangData" numbers its texts now, in the order of the walk.
    if (!HasLangData && emptyTree)
        Capture(TCaptureMode::Adding, TNumbering::ByPath);
    else
        Capture(TCaptureMode::Updating);
    try {
        Manager->ApplyCurrentLanguageToController(this);
    } catch (const std::exception& error) {
        // A language file gone since the scan: the form keeps its own texts.
        qWarning("Language not applied to %s: %s", SectionName().c_str(), error.what());
    }
}

void TVexaLanguageController::WriteLanguageSource(std::vector<std::string>& lines) const {
    lines.push_back("[" + SectionName() + "]");
    std::function<void(const TVexaLang_CompEntry&)> write = [&](const TVexaLang_CompEntry& entry) {
        const std::string path = entry.ComponentPath();
        const std::string prefix = path.empty() ? std::string() : path + ".";
        if (const TVexaLang_PropEntries* props = entry.Properties()) {
            for (int i = 0; i < props->Count(); ++i) {
                const TVexaLang_PropEntry& prop = props->Item(i);
                lines.push_back(prefix + prop.Path + "=" + FormatId(prop.Id) + "," +
                                EscapeControlChars(prop.DefaultText));
            }
        }
        for (int i = 0; i < entry.ChildCount(); ++i)
            write(entry.Child(i));
    };
    write(RootEntry);
}

std::string TVexaLanguageController::SectionName() const {
    if (!Section.empty())
        return Section;
    return Owner != nullptr ? Owner->objectName().toStdString() : std::string();
}

void TVexaLanguageController::LanguageChanging() {
    if (OnLanguageChanging)
        OnLanguageChanging(*this);
}

void TVexaLanguageController::ApplyLanguage(const TVexaLang_CompTranslation* section) {
    TWalkGuard guard(*this);
    ApplyEntry(RootEntry, section);
}

void TVexaLanguageController::LanguageChanged() {
    if (OnLanguageChanged)
        OnLanguageChanged(*this);
}

void TVexaLanguageController::BindTree() {
    RootEntry.Bind(Owner);
    BindChildren(RootEntry);
}

void TVexaLanguageController::BindChildren(TVexaLang_CompEntry& entry) {
    const std::vector<QObject*> owned = OwnedComponents(entry);
    for (int i = 0; i < entry.ChildCount();) {
        TVexaLang_CompEntry& child = entry.Child(i);
        if (child.StoredName().empty()) {
            ++i;
            continue;
        }
        auto found = std::find_if(owned.begin(), owned.end(), [&](const QObject* component) {
            return CompareTextAscii(component->objectName().toStdString(), child.StoredName()) == 0;
        });
        if (found == owned.end()) {
            entry.DeleteChild(i);
            continue;
        }
        BindEntry(child, *found);
        BindChildren(child);
        ++i;
    }
}

void TVexaLanguageController::BindEntry(TVexaLang_CompEntry& entry, QObject* component) {
    entry.Bind(component);
    connect(component, &QObject::destroyed, this, [this](QObject* gone) {
        if (WalkDepth > 0)
            RemovalPending = true;
        else
            RootEntry.RemoveComponent(gone);
    });
}

void TVexaLanguageController::Capture(TCaptureMode mode, TNumbering numbering) {
    TWalkGuard guard(*this);
    TMaskLists masks{Ignore, Store};
    if (mode == TCaptureMode::Adding) {
        RootEntry.ClearTouched();
        const std::int32_t largest = RootEntry.MaxId();
        NextId = largest < std::numeric_limits<std::int32_t>::max() ? largest + 1 : 0;
        Numbering = numbering;
        UsedIds.clear();
        RootEntry.CollectIds(UsedIds);
    }
    CaptureEntry(RootEntry, mode, masks);
    UsedIds.clear();
}

std::int32_t TVexaLanguageController::NewId(const std::string& maskPath) {
    if (Numbering == TNumbering::Sequential) {
        if (NextId <= 0) // past the largest identifier there is
            throw EVexaLangError("No translation identifier left");
        const std::int32_t id = NextId;
        NextId = id < std::numeric_limits<std::int32_t>::max() ? id + 1 : 0;
        UsedIds.insert(id);
        return id;
    }
    std::int32_t id = PathIdentifier(maskPath);
    while (UsedIds.count(id) != 0) // a rare clash: the next free one
        id = id % MaxPathIdentifier + 1;
    UsedIds.insert(id);
    return id;
}

void TVexaLanguageController::CaptureEntry(TVexaLang_CompEntry& entry, TCaptureMode mode,
                                           const TMaskLists& masks) {
    QObject* component = entry.Component();
    if (component == nullptr)
        return;
    for (const TVexaLangTextProperty& property :
         TranslatableProperties(component, &entry == &RootEntry))
        CaptureProperty(entry, property, mode, masks);
    if (mode == TCaptureMode::Adding && entry.Properties() != nullptr) {
        entry.Properties()->RemoveUntouched();
        entry.FreePropertiesIfEmpty();
    }
    for (QObject* owned : OwnedComponents(entry)) {
        TVexaLang_CompEntry* child = entry.FindChildBoundTo(owned);
        if (child == nullptr && mode == TCaptureMode::Adding) {
            child = &entry.AddChild();
            BindEntry(*child, owned);
        }
        if (child != nullptr)
            CaptureEntry(*child, mode, masks);
    }
}

void TVexaLanguageController::CaptureProperty(TVexaLang_CompEntry& entry,
                                              const TVexaLangTextProperty& property,
                                              TCaptureMode mode, const TMaskLists& masks) {
    const std::string maskPath = entry.ComponentPath() + "." + property.Path;
    if (MatchesAny(masks.Ignore, maskPath))
        return;
    if (!property.Stored && !MatchesAny(masks.Store, maskPath))
        return;
    const std::string value = property.Get().toStdString();
    if (!PassesFilter(value))
        return;
    if (mode == TCaptureMode::Updating) {
        if (entry.Properties() != nullptr)
            if (TVexaLang_PropEntry* existing = entry.Properties()->Find(property.Path))
                existing->DefaultText = value;
        return;
    }
    TVexaLang_PropEntries& props = entry.EnsureProperties();
    TVexaLang_PropEntry* existing = props.Find(property.Path);
    if (existing == nullptr)
        existing = &props.Insert(NewId(maskPath), property.Path, value);
    existing->DefaultText = value;
    existing->Touched = true;
}

bool TVexaLanguageController::PassesFilter(const std::string& value) const {
    if (ControllerOptions & vexalcoIgnoreNonAlphaProps) {
        for (std::size_t pos = 0; pos < value.size();) {
            const char32_t c = DecodeUtf8(value, pos);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0x040E && c != 0xFFFD))
                return true;
        }
        return false;
    }
    if (ControllerOptions & vexalcoIgnoreEmptyProps)
        return !value.empty();
    return true;
}

void TVexaLanguageController::ApplyEntry(TVexaLang_CompEntry& entry,
                                         const TVexaLang_CompTranslation* section) {
    QObject* component = entry.Component();
    if (entry.Properties() != nullptr && component != nullptr) {
        for (const TVexaLangTextProperty& property :
             TranslatableProperties(component, &entry == &RootEntry)) {
            // A handler run by an earlier text may have deleted the component.
            if (entry.Component() == nullptr)
                break;
            const TVexaLang_PropEntry* prop = entry.Properties()->Find(property.Path);
            if (prop == nullptr)
                continue;
            const std::string* translated = section != nullptr ? section->Find(prop->Id) : nullptr;
            property.Set(
                QString::fromStdString(translated != nullptr ? *translated : prop->DefaultText));
        }
    }
    for (int i = 0; i < entry.ChildCount(); ++i)
        ApplyEntry(entry.Child(i), section);
}

void TVexaLanguageController::RemoveDeletedEntries(TVexaLang_CompEntry& entry) {
    for (int i = 0; i < entry.ChildCount();) {
        TVexaLang_CompEntry& child = entry.Child(i);
        if (child.WasBound() && child.Component() == nullptr) {
            entry.DeleteChild(i);
            continue;
        }
        RemoveDeletedEntries(child);
        ++i;
    }
}

std::vector<QObject*>
TVexaLanguageController::OwnedComponents(const TVexaLang_CompEntry& entry) const {
    std::vector<QObject*> owned;
    if (&entry != &RootEntry || entry.Component() == nullptr)
        return owned;
    std::vector<QString> names;
    CollectNamedDescendants(entry.Component(), owned, names);
    return owned;
}
