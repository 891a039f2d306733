#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>
#include <QPointer>

class TVexaLangStreamReader;
class TVexaLangStreamWriter;

// One translatable property of a component: its identifier in the language files, its
// path and the text the form had when it was created.
struct TVexaLang_PropEntry {
    std::int32_t Id = 0;
    std::string Path;
    std::string DefaultText;
    bool Touched = false;
};

// The translatable properties of one component, sorted by path without regard to case.
class TVexaLang_PropEntries {
public:
    TVexaLang_PropEntry* Find(std::string_view path);
    // Keeps the order; a path already present is returned as it is.
    TVexaLang_PropEntry& Insert(std::int32_t id, std::string path, std::string defaultText);
    void RemoveUntouched();
    void ClearTouched();
    std::int32_t MaxId() const;

    int Count() const { return static_cast<int>(Items.size()); }
    const TVexaLang_PropEntry& Item(int index) const { return Items.at(index); }

private:
    std::vector<TVexaLang_PropEntry> Items;
};

// One node of a form's component tree; the root stands for the form itself. A node names
// its component by the stored name until it is bound to the live component.
class TVexaLang_CompEntry {
public:
    explicit TVexaLang_CompEntry(TVexaLang_CompEntry* parent = nullptr) : ParentEntry(parent) {}

    // The bound component's name, else the stored name.
    std::string Name() const;
    const std::string& StoredName() const { return Stored; }
    // nullptr when unbound or when the bound component is gone.
    QObject* Component() const { return BoundComponent.data(); }
    // Bound at some time, whether or not the component still lives.
    bool WasBound() const { return BoundAddress != nullptr; }
    // Clears the stored name.
    void Bind(QObject* component);
    TVexaLang_CompEntry* Parent() const { return ParentEntry; }
    // The names from below the root down to this entry joined by "."; empty for the root.
    std::string ComponentPath() const;

    TVexaLang_PropEntries* Properties() { return Props.get(); }
    const TVexaLang_PropEntries* Properties() const { return Props.get(); }
    TVexaLang_PropEntries& EnsureProperties();
    void FreePropertiesIfEmpty();

    int ChildCount() const { return static_cast<int>(Children.size()); }
    TVexaLang_CompEntry& Child(int index) { return *Children.at(index); }
    const TVexaLang_CompEntry& Child(int index) const { return *Children.at(index); }
    TVexaLang_CompEntry& AddChild();
    void DeleteChild(int index);
    TVexaLang_CompEntry* FindChildBoundTo(const QObject* component);
    // Takes the entry bound to the component out of the tree below this entry, wherever it
    // stands; true when one was found. Works while the component is being destroyed.
    bool RemoveComponent(const QObject* component);

    // Over the whole subtree.
    std::int32_t MaxId() const;
    void CollectIds(std::set<std::int32_t>& ids) const;
    void ClearTouched();
    void Clear();

    // The "LangData" layout: name, property entries (identifier and path) and children,
    // recursively. Reading replaces this entry's contents; on a short or inconsistent
    // stream it throws and the entry is left as it was.
    void Write(TVexaLangStreamWriter& writer) const;
    void Read(TVexaLangStreamReader& reader);

private:
    void ReadInto(TVexaLangStreamReader& reader, int depth);

    std::unique_ptr<TVexaLang_PropEntries> Props;
    std::vector<std::unique_ptr<TVexaLang_CompEntry>> Children; // empty stands for "none"
    std::string Stored;
    QPointer<QObject> BoundComponent;
    const QObject* BoundAddress = nullptr; // identifies the component during its destruction
    TVexaLang_CompEntry* ParentEntry;
};
