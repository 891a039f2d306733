#include "transfer/FileTree.h"

#include <dirent.h>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

using TDirectoryId = std::pair<dev_t, ino_t>;

TSystemTime LocalCalendarTime(const struct timespec& stamp) {
    return LocalSystemTime(stamp.tv_sec, static_cast<unsigned>(stamp.tv_nsec / 1000000));
}

// Only folders and regular files are entries: a pipe or a device would hang the copy that
// reads it, and a dangling link has nothing to copy.
bool EntryFromFileSystem(const std::string& path, const std::string& name, TFileListItem& entry,
                         struct stat& info) {
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    const bool isFolder = S_ISDIR(info.st_mode);
    if (!isFolder && !S_ISREG(info.st_mode)) {
        return false;
    }
    entry = TFileListItem{};
    entry.Name = name;
    entry.IsFolder = isFolder ? 1 : 0;
    entry.Size = isFolder ? 0 : static_cast<std::int64_t>(info.st_size);
    entry.Time = LocalCalendarTime(info.st_mtim);
    entry.DataLink = 0;
    return true;
}

class TFolderScanner {
public:
    explicit TFolderScanner(std::vector<TFileListItem>& target) : Target(target) {}

    std::int64_t Total = 0;

    // Lists the folder's entries into the target; returns how many it found directly inside.
    std::int64_t ScanFolder(const std::string& absolute, const std::string& relative,
                            const TDirectoryId& id) {
        const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(absolute.c_str()), closedir);
        if (!folder) {
            return 0;
        }
        // A link back to a folder being scanned would never end.
        OnPath.insert(id);
        std::int64_t count = 0;
        while (const dirent* found = readdir(folder.get())) {
            const std::string name = found->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            TFileListItem entry;
            struct stat info {};
            const std::string path = absolute + name;
            if (!EntryFromFileSystem(path, name, entry, info)) {
                continue;
            }
            ++count;
            Total += entry.Size;
            entry.FolderPath = relative;
            const std::size_t index = Target.size();
            Target.push_back(entry);
            const TDirectoryId childId{info.st_dev, info.st_ino};
            if (entry.IsFolder && OnPath.count(childId) == 0) {
                const std::int64_t inside = ScanFolder(path + "/", relative + name + "\\", childId);
                Target[index].Size = inside;
            }
        }
        OnPath.erase(id);
        return count;
    }

private:
    std::vector<TFileListItem>& Target;
    std::set<TDirectoryId> OnPath;
};

// The folder's own name, also for "." and paths ending in "..".
std::string OwnName(const std::string& folder) {
    std::filesystem::path path(folder);
    std::string name = path.filename().string();
    if (name.empty() || name == "." || name == "..") {
        std::error_code error;
        name = std::filesystem::weakly_canonical(path, error).filename().string();
    }
    return name;
}

} // namespace

std::int64_t ScanFolderTree(const std::string& root, std::vector<TFileListItem>* target) {
    if (target == nullptr) {
        return 0;
    }
    target->clear();
    if (root.empty()) {
        return 0; // no folder named; never the whole file system
    }
    std::string absolute = root;
    if (absolute.back() != '/') {
        absolute += '/';
    }
    std::string own = absolute;
    while (own.size() > 1 && own.back() == '/') {
        own.pop_back();
    }

    TFolderScanner scanner(*target);
    std::string relative = "\\";
    TFileListItem rootEntry;
    struct stat info {};
    bool rootListed = false;
    const std::string ownName = OwnName(own);
    if (own != "/" && !ownName.empty() && EntryFromFileSystem(own, ownName, rootEntry, info) &&
        rootEntry.IsFolder) {
        rootEntry.FolderPath = "\\";
        rootListed = true;
        target->push_back(rootEntry);
        relative = "\\" + ownName + "\\";
    } else if (stat(absolute.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return 0;
    }
    const std::int64_t count = scanner.ScanFolder(absolute, relative, {info.st_dev, info.st_ino});
    if (rootListed) {
        target->front().Size = count;
    }
    return scanner.Total;
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
