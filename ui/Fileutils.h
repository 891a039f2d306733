#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transfer/FileTree.h"

// Sort modes; any other non-zero value sorts by name.
constexpr std::int32_t FileSortNone = 0;
constexpr std::int32_t FileSortByName = 1;
constexpr std::int32_t FileSortBySize = 3;
constexpr std::int32_t FileSortByTime = 4;

// Owns its entries and keeps them in the chosen order: folders before files, then by the
// mode's key, then by name without regard to case; descending reverses all of it.
class TFileList {
public:
    TFileList();
    virtual ~TFileList();
    TFileList(const TFileList&) = delete;
    TFileList& operator=(const TFileList&) = delete;

    void Clear();
    int Count() const { return static_cast<int>(FItems.size()); }
    // The caller keeps the index in range.
    TFileListItem& Item(int index) { return *FItems[static_cast<std::size_t>(index)]; }
    const TFileListItem& Item(int index) const { return *FItems[static_cast<std::size_t>(index)]; }
    // Appends a copy of every field, the data link included.
    TFileListItem* AddCopy(const TFileListItem& item);

    std::int32_t SortMode() const { return FSortMode; }
    // A new mode also turns the order ascending; sorts unless the mode is 0.
    void SetSortMode(std::int32_t mode);
    bool Ascending() const { return FAscending; }
    void SetAscending(bool ascending);
    // Sorts now, also in mode 0 (which then orders by name).
    void Sort();

    // -1, 0 or +1: whether a comes before b in this list's order.
    int CompareItems(const TFileListItem& a, const TFileListItem& b) const;

    // Fired by the filtered view after it refills.
    std::function<void()> OnChange;

protected:
    std::vector<std::unique_ptr<TFileListItem>> FItems;

private:
    std::int32_t FSortMode = FileSortNone;
    bool FAscending = false;
};

// The entries of a source list that lie in one folder (or, in subtree mode, in it and below),
// copied, with folder paths made relative to that folder.
class TFilteredFileList : public TFileList {
public:
    TFilteredFileList();
    ~TFilteredFileList() override;

    const TFileList* SourceList() const { return FSourceList; }
    // Not owned; the caller keeps it alive while the view refers to it.
    void SetSourceList(const TFileList* source);
    const std::string& FilterPath() const { return FFilterPath; }
    // Refills when the path differs from the current one; a missing trailing "\" is added.
    void SetFilterPath(const std::string& path);
    bool Subtree() const { return FSubtree; }
    void SetSubtree(bool subtree);
    // One folder up; at the root the path stays "\".
    void LevelUp();
    void Refresh();

private:
    const TFileList* FSourceList = nullptr;
    std::string FFilterPath = "\\";
    bool FSubtree = false;
};

// Case-insensitive comparison of two UTF-8 names: negative, 0 or positive.
int CompareText(const std::string& a, const std::string& b);
