#include "ui/Fileutils.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include <QString>

namespace {

// Calendar order, which for valid dates is the order of their file times; invalid fields
// (a month 0 from a damaged record) still give one consistent order.
auto CalendarKey(const TSystemTime& time) {
    return std::tie(time.Year, time.Month, time.Day, time.Hour, time.Minute, time.Second,
                    time.Milliseconds);
}

template <typename T> int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

int CompareText(const std::string& a, const std::string& b) {
    return QString::compare(QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())),
                            QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())),
                            Qt::CaseInsensitive);
}

TFileList::TFileList() = default;
TFileList::~TFileList() = default;

void TFileList::Clear() {
    FItems.clear();
}

TFileListItem* TFileList::AddCopy(const TFileListItem& item) {
    FItems.push_back(std::make_unique<TFileListItem>(item));
    return FItems.back().get();
}

void TFileList::SetSortMode(std::int32_t mode) {
    if (mode != FSortMode) {
        FSortMode = mode;
        FAscending = true;
        if (FSortMode != FileSortNone) {
            Sort();
        }
    }
}

void TFileList::SetAscending(bool ascending) {
    if (ascending != FAscending) {
        FAscending = ascending;
        if (FSortMode != FileSortNone) {
            Sort();
        }
    }
}

int TFileList::CompareItems(const TFileListItem& a, const TFileListItem& b) const {
    int result = 0;
    if (a.IsFolder && !b.IsFolder) {
        result = -1;
    } else if (!a.IsFolder && b.IsFolder) {
        result = 1;
    } else {
        if (FSortMode == FileSortBySize) {
            result = Sign(a.Size, b.Size);
        } else if (FSortMode == FileSortByTime) {
            result = Sign(CalendarKey(a.Time), CalendarKey(b.Time));
        }
        if (result == 0) {
            result = Sign(CompareText(a.Name, b.Name), 0);
        }
    }
    return FAscending ? result : -result;
}

void TFileList::Sort() {
    // Stable: entries the order holds equal (names that differ only in letter case, or the
    // same name in two folders of a subtree view) keep the order they were added in.
    std::stable_sort(
        FItems.begin(), FItems.end(),
        [this](const std::unique_ptr<TFileListItem>& a, const std::unique_ptr<TFileListItem>& b) {
            return CompareItems(*a, *b) < 0;
        });
}

TFilteredFileList::TFilteredFileList() = default;
TFilteredFileList::~TFilteredFileList() = default;

void TFilteredFileList::SetSourceList(const TFileList* source) {
    FSourceList = source;
    Refresh();
}

void TFilteredFileList::SetFilterPath(const std::string& path) {
    if (path != FFilterPath) {
        FFilterPath = AddBackslash(path);
        Refresh();
    }
}

void TFilteredFileList::SetSubtree(bool subtree) {
    if (subtree != FSubtree) {
        FSubtree = subtree;
        Refresh();
    }
}

void TFilteredFileList::LevelUp() {
    std::string path = FFilterPath;
    if (!path.empty()) {
        path.pop_back();
    }
    const std::size_t lastSlash = path.rfind('\\');
    SetFilterPath(lastSlash == std::string::npos ? std::string() : path.substr(0, lastSlash + 1));
}

void TFilteredFileList::Refresh() {
    Clear();
    if (FSourceList != nullptr) {
        for (int i = 0; i < FSourceList->Count(); ++i) {
            const TFileListItem& entry = FSourceList->Item(i);
            std::string folder = entry.FolderPath;
            if (FSubtree) {
                folder = folder.substr(0, FFilterPath.size());
            }
            if (folder == FFilterPath) {
                TFileListItem* copy = AddCopy(entry);
                copy->FolderPath.erase(0, FFilterPath.size());
            }
        }
    }
    Sort();
    if (OnChange) {
        OnChange();
    }
}
