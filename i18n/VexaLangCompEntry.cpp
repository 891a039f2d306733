#include "i18n/VexaLangCompEntry.h"

#include <algorithm>

#include "i18n/VexaLangConstants.h"
#include "i18n/VexaLangError.h"
#include "i18n/VexaLangStream.h"

namespace {

// Deeper trees than this come only from damaged streams; the program's forms are flat.
constexpr int MaxEntryDepth = 32;
// The smallest encodings, to refuse counts the stream cannot hold before allocating.
constexpr std::size_t MinPropertyBytes = 4 + 2;
constexpr std::size_t MinEntryBytes = 2 + 1 + 1;

bool PathLess(const TVexaLang_PropEntry& entry, std::string_view path) {
    return CompareTextAscii(entry.Path, path) < 0;
}

std::int32_t ReadCount(TVexaLangStreamReader& reader, std::size_t minItemBytes) {
    const std::int32_t count = reader.ReadI32();
    if (count < 0 || static_cast<std::size_t>(count) > reader.Remaining() / minItemBytes)
        throw EVexaLangError("Invalid LangData count (" + std::to_string(count) + ")");
    return count;
}

} // namespace

TVexaLang_PropEntry* TVexaLang_PropEntries::Find(std::string_view path) {
    auto it = std::lower_bound(Items.begin(), Items.end(), path, PathLess);
    return it != Items.end() && CompareTextAscii(it->Path, path) == 0 ? &*it : nullptr;
}

TVexaLang_PropEntry& TVexaLang_PropEntries::Insert(std::int32_t id, std::string path,
                                                   std::string defaultText) {
    auto it = std::lower_bound(Items.begin(), Items.end(), path, PathLess);
    if (it != Items.end() && CompareTextAscii(it->Path, path) == 0)
        return *it;
    return *Items.insert(it, TVexaLang_PropEntry{id, std::move(path), std::move(defaultText)});
}

void TVexaLang_PropEntries::RemoveUntouched() {
    std::erase_if(Items, [](const TVexaLang_PropEntry& entry) { return !entry.Touched; });
}

void TVexaLang_PropEntries::ClearTouched() {
    for (TVexaLang_PropEntry& entry : Items)
        entry.Touched = false;
}

std::int32_t TVexaLang_PropEntries::MaxId() const {
    std::int32_t result = 0;
    for (const TVexaLang_PropEntry& entry : Items)
        result = std::max(result, entry.Id);
    return result;
}

std::string TVexaLang_CompEntry::Name() const {
    if (BoundComponent)
        return BoundComponent->objectName().toStdString();
    return Stored;
}

void TVexaLang_CompEntry::Bind(QObject* component) {
    BoundComponent = component;
    BoundAddress = component;
    Stored.clear();
}

std::string TVexaLang_CompEntry::ComponentPath() const {
    if (ParentEntry == nullptr)
        return {};
    const std::string above = ParentEntry->ComponentPath();
    return above.empty() ? Name() : above + "." + Name();
}

TVexaLang_PropEntries& TVexaLang_CompEntry::EnsureProperties() {
    if (!Props)
        Props = std::make_unique<TVexaLang_PropEntries>();
    return *Props;
}

void TVexaLang_CompEntry::FreePropertiesIfEmpty() {
    if (Props && Props->Count() == 0)
        Props.reset();
}

TVexaLang_CompEntry& TVexaLang_CompEntry::AddChild() {
    Children.push_back(std::make_unique<TVexaLang_CompEntry>(this));
    return *Children.back();
}

void TVexaLang_CompEntry::DeleteChild(int index) {
    Children.erase(Children.begin() + index);
}

TVexaLang_CompEntry* TVexaLang_CompEntry::FindChildBoundTo(const QObject* component) {
    for (auto& child : Children)
        if (child->Component() == component)
            return child.get();
    return nullptr;
}

bool TVexaLang_CompEntry::RemoveComponent(const QObject* component) {
    for (std::size_t i = 0; i < Children.size(); ++i) {
        if (Children[i]->BoundAddress == component) {
            Children.erase(Children.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
        if (Children[i]->RemoveComponent(component))
            return true;
    }
    return false;
}

std::int32_t TVexaLang_CompEntry::MaxId() const {
    std::int32_t result = Props ? Props->MaxId() : 0;
    for (const auto& child : Children)
        result = std::max(result, child->MaxId());
    return result;
}

void TVexaLang_CompEntry::CollectIds(std::set<std::int32_t>& ids) const {
    if (Props)
        for (int i = 0; i < Props->Count(); ++i)
            ids.insert(Props->Item(i).Id);
    for (const auto& child : Children)
        child->CollectIds(ids);
}

void TVexaLang_CompEntry::ClearTouched() {
    if (Props)
        Props->ClearTouched();
    for (auto& child : Children)
        child->ClearTouched();
}

void TVexaLang_CompEntry::Clear() {
    Props.reset();
    Children.clear();
    Stored.clear();
}

void TVexaLang_CompEntry::Write(TVexaLangStreamWriter& writer) const {
    writer.WriteUtf8String(Name());
    writer.WriteBool(Props != nullptr);
    if (Props) {
        writer.WriteI32(Props->Count());
        for (int i = 0; i < Props->Count(); ++i) {
            writer.WriteI32(Props->Item(i).Id);
            writer.WriteUtf8String(Props->Item(i).Path);
        }
    }
    writer.WriteBool(!Children.empty());
    if (!Children.empty()) {
        writer.WriteI32(static_cast<std::int32_t>(Children.size()));
        for (const auto& child : Children)
            child->Write(writer);
    }
}

void TVexaLang_CompEntry::Read(TVexaLangStreamReader& reader) {
    TVexaLang_CompEntry fresh(ParentEntry);
    fresh.ReadInto(reader, 0);
    Props = std::move(fresh.Props);
    Children = std::move(fresh.Children);
    for (auto& child : Children)
        child->ParentEntry = this;
    Stored = std::move(fresh.Stored);
    BoundComponent.clear();
    BoundAddress = nullptr;
}

void TVexaLang_CompEntry::ReadInto(TVexaLangStreamReader& reader, int depth) {
    if (depth > MaxEntryDepth)
        throw EVexaLangError("LangData nested too deeply");
    Stored = reader.ReadUtf8String();
    if (reader.ReadBool()) {
        auto props = std::make_unique<TVexaLang_PropEntries>();
        const std::int32_t count = ReadCount(reader, MinPropertyBytes);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t id = reader.ReadI32();
            props->Insert(id, reader.ReadUtf8String(), {});
        }
        Props = std::move(props);
    }
    if (reader.ReadBool()) {
        const std::int32_t count = ReadCount(reader, MinEntryBytes);
        for (std::int32_t i = 0; i < count; ++i)
            AddChild().ReadInto(reader, depth + 1);
    }
}
