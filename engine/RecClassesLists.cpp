#include "engine/RecClassesLists.h"

#include <stdexcept>

int TBlockList::Add(const TBlockEntry& entry) {
    Items.push_back(entry);
    return Count() - 1;
}

int TSoundPageList::Add(const TSoundPage& page) {
    if (!OwnsEntries())
        throw std::logic_error("a shared page list cannot grow");
    Own.push_back(page);
    return Count() - 1;
}

const TSoundPage& TSoundPageList::Get(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("sound page index");
    return Shared ? Shared[index] : Own[static_cast<std::size_t>(index)];
}

void TSoundPageList::Clear() {
    Own.clear();
    Shared = nullptr;
    SharedCount = 0;
}

TSoundPageList TSoundPageList::SharedRange(const TSoundPageList& owner, int first, int count) {
    if (first < 0 || count < 0 || first + count > owner.Count())
        throw std::out_of_range("shared page range");
    TSoundPageList view;
    view.Shared = count > 0 ? &owner.Get(first) : owner.Own.data();
    view.SharedCount = count;
    return view;
}

TSoundFileInfo::TSoundFileInfo() = default;
TSoundFileInfo::~TSoundFileInfo() = default;

TSoundFileList& TSoundFileInfo::CreateVoicePartList() {
    OwnedVoiceParts = std::make_unique<TSoundFileList>();
    VoiceParts = OwnedVoiceParts.get();
    return *OwnedVoiceParts;
}

template <class TInfo, class TView>
int TOwnedInfoList<TInfo, TView>::Add(std::unique_ptr<TInfo> info) {
    Items.push_back(std::move(info));
    return Count() - 1;
}

template <class TInfo, class TView> TInfo* TOwnedInfoList<TInfo, TView>::Get(int index) const {
    return Items.at(static_cast<std::size_t>(index)).get();
}

template <class TInfo, class TView> void TOwnedInfoList<TInfo, TView>::Truncate(int count) {
    if (count >= 0 && static_cast<std::size_t>(count) < Items.size())
        Items.resize(static_cast<std::size_t>(count));
}

template <class TInfo, class TView>
int TOwnedInfoList<TInfo, TView>::FindByNumber(std::uint16_t number) const {
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i]->Number == number)
            return static_cast<int>(i);
    return -1;
}

template class TOwnedInfoList<TSoundFileInfo, TCustomSoundFileList>;
template class TOwnedInfoList<TDriveFileInfo, TCustomDriveFileList>;

TSoundFileInfo* TSoundFileList::ByNumber(std::uint16_t number) const {
    const int index = FindByNumber(number);
    return index < 0 ? nullptr : Get(index);
}

int TDriveFileList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (Get(i)->Name == name)
            return i;
    return -1;
}
