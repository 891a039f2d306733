#include "ui/Fileutils.h"

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

std::string TrimBackslashes(const std::string& text) {
    const std::size_t first = text.find_first_not_of('\\');
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of('\\');
    return text.substr(first, last - first + 1);
}

std::string AddBackslash(const std::string& text) {
    if (text.empty() || text.back() != '\\') {
        return text + '\\';
    }
    return text;
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
    if (FItems.size() >= 2) {
        QuickSort(0, Count() - 1);
    }
}

void TFileList::QuickSort(int left, int right) {
    // Recursing into the smaller part keeps the stack shallow; the parts are disjoint, so
    // the order they are sorted in does not change the result.
    while (left < right) {
        int i = left;
        int j = right;
        const TFileListItem* pivot = FItems[static_cast<std::size_t>((left + right) / 2)].get();
        do {
            while (i <= right && CompareItems(Item(i), *pivot) < 0) {
                ++i;
            }
            while (j >= left && CompareItems(Item(j), *pivot) > 0) {
                --j;
            }
            if (i <= j) {
                std::swap(FItems[static_cast<std::size_t>(i)], FItems[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - left < right - i) {
            if (left < j) {
                QuickSort(left, j);
            }
            left = i;
        } else {
            if (i < right) {
                QuickSort(i, right);
            }
            right = j;
        }
    }
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
