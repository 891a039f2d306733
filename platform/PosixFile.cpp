#include "platform/PosixFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<TFileStepHook> StepHook{nullptr};

// 0 to go on with the call, else the error number it is to fail with.
int InjectedFault(const char* call) {
    const TFileStepHook hook = StepHook.load(std::memory_order_acquire);
    return hook != nullptr ? hook(call) : 0;
}

} // namespace

void SetFileStepHook(TFileStepHook hook) {
    StepHook.store(hook, std::memory_order_release);
}

TPosixFile::~TPosixFile() {
    Close();
}

TPosixFile::TPosixFile(TPosixFile&& other) noexcept
    : Fd(std::exchange(other.Fd, -1)), WriteThrough(other.WriteThrough), LastErrno(other.LastErrno),
      Unnamed(std::exchange(other.Unnamed, false)), PendingName(std::move(other.PendingName)) {}

TPosixFile& TPosixFile::operator=(TPosixFile&& other) noexcept {
    if (this != &other) {
        Close();
        Fd = std::exchange(other.Fd, -1);
        WriteThrough = other.WriteThrough;
        LastErrno = other.LastErrno;
        Unnamed = std::exchange(other.Unnamed, false);
        PendingName = std::move(other.PendingName);
    }
    return *this;
}

bool TPosixFile::Open(const std::string& path, TMode mode, bool writeThrough) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case TMode::ReadOnly:
        flags |= O_RDONLY;
        break;
    case TMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case TMode::CreateTruncate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case TMode::CreateTemporary:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    }
    WriteThrough = writeThrough;
    LastErrno = 0;
    if (mode == TMode::CreateTemporary) {
        const std::string folder = FolderOf(path);
        RemoveStaleTemporaries(folder);
        if (const int fault = InjectedFault("open_tmpfile"); fault != 0)
            errno = fault;
        else
            Fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
        if (Fd >= 0) {
            Unnamed = true;
            PendingName = path;
            return true;
        }
        // File systems without unnamed files (vfat, some network ones) get a named one.
    }
    if (const int fault = InjectedFault("open"); fault != 0) {
        errno = fault;
        return false;
    }
    do {
        Fd = ::open(path.c_str(), flags, 0644);
    } while (Fd < 0 && errno == EINTR);
    return Fd >= 0;
}

void TPosixFile::Close() {
    if (Fd >= 0) {
        ::close(Fd);
        Fd = -1;
    }
    Unnamed = false;
    PendingName.clear();
}

bool TPosixFile::Publish() {
    if (Fd < 0)
        return false;
    if (!Unnamed)
        return true;
    if (const int fault = InjectedFault("linkat"); fault != 0) {
        LastErrno = errno = fault;
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(Fd);
    int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, PendingName.c_str(), AT_SYMLINK_FOLLOW);
    // Without /proc, AT_EMPTY_PATH does the same where the process may use it.
    if (linked != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
        linked = ::linkat(Fd, "", AT_FDCWD, PendingName.c_str(), AT_EMPTY_PATH);
    if (linked != 0) {
        LastErrno = errno;
        return false;
    }
    Unnamed = false;
    return true;
}

std::size_t TPosixFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (Fd < 0 || (size > 0 && buffer == nullptr))
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(Fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TPosixFile::WriteAt(std::uint64_t offset, const void* buffer, std::size_t size) {
    if (Fd < 0 || (size > 0 && buffer == nullptr))
        return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        if (const int fault = InjectedFault("write"); fault != 0) {
            LastErrno = errno = fault;
            return done;
        }
        ssize_t n = ::pwrite(Fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that moves nothing without an error has found no room either.
            LastErrno = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (WriteThrough && done > 0) {
        if (const int fault = InjectedFault("fdatasync"); fault != 0)
            LastErrno = errno = fault;
        else if (::fdatasync(Fd) != 0)
            LastErrno = errno;
    }
    return done;
}

std::int64_t TPosixFile::Size() const {
    struct stat st {};
    if (Fd < 0 || ::fstat(Fd, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool TPosixFile::SetMode(unsigned mode) {
    return Fd >= 0 && ::fchmod(Fd, static_cast<mode_t>(mode)) == 0;
}

bool TPosixFile::Truncate(std::uint64_t size) {
    return Fd >= 0 && ::ftruncate(Fd, static_cast<off_t>(size)) == 0;
}

bool TPosixFile::Sync() {
    if (Fd < 0)
        return false;
    if (const int fault = InjectedFault("fdatasync"); fault != 0) {
        LastErrno = errno = fault;
        return false;
    }
    if (::fdatasync(Fd) == 0)
        return true;
    LastErrno = errno;
    return false;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Each file call of this unit goes through these, so the test seam sees every step.
int Unlink(const std::string& path) {
    if (const int fault = InjectedFault("unlink"); fault != 0) {
        errno = fault;
        return -1;
    }
    return ::unlink(path.c_str());
}

int Rename(const std::string& from, const std::string& to) {
    if (const int fault = InjectedFault("rename"); fault != 0) {
        errno = fault;
        return -1;
    }
    return std::rename(from.c_str(), to.c_str());
}

int Exchange(const std::string& a, const std::string& b) {
    if (const int fault = InjectedFault("renameat2"); fault != 0) {
        errno = fault;
        return -1;
    }
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
}

int Link(const std::string& from, const std::string& to) {
    if (const int fault = InjectedFault("link"); fault != 0) {
        errno = fault;
        return -1;
    }
    return ::link(from.c_str(), to.c_str());
}

bool Unsupported(int code) {
    return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP || code == ENOTSUP ||
           code == EPERM || code == EXDEV;
}

std::string MarkedName(const std::string& target, const char* marker) {
    static std::atomic<unsigned> counter{0};
    return target + marker + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

std::string AsideName(const std::string& target) {
    return MarkedName(target, ".old~");
}

// The process id in a "~PID" or "~PID_N" suffix, 0 when the suffix is not one.
pid_t SuffixProcess(const std::string& suffix) {
    std::size_t digits = 0;
    while (digits < suffix.size() && suffix[digits] >= '0' && suffix[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 9)
        return 0;
    if (digits < suffix.size()) {
        if (suffix[digits] != '_' || digits + 1 == suffix.size())
            return 0;
        for (std::size_t i = digits + 1; i < suffix.size(); ++i)
            if (suffix[i] < '0' || suffix[i] > '9')
                return 0;
    }
    return static_cast<pid_t>(std::atoi(suffix.substr(0, digits).c_str()));
}

bool ProcessIsGone(pid_t pid) {
    return pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

bool RemoveFile(const std::string& path) {
    return Unlink(path) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return Rename(from, to) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string MakeTemporaryName(const std::string& target) {
    return MarkedName(target, ".tmp~");
}

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    ::closedir(dir);
    int handled = 0;
    for (const std::string& name : names) {
        for (const char* marker : {".tmp~", ".old~"}) {
            const std::size_t at = name.rfind(marker);
            if (at == std::string::npos || at == 0)
                continue;
            if (!ProcessIsGone(SuffixProcess(name.substr(at + 5))))
                continue;
            const std::string path = folder + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const std::string target = folder + "/" + name.substr(0, at);
            // A set-aside file whose name is empty is the user's file: it goes back.
            const bool restore =
                marker[1] == 'o' && ::lstat(target.c_str(), &st) != 0 && errno == ENOENT;
            if (restore ? Rename(path, target) == 0 : Unlink(path) == 0)
                ++handled;
        }
    }
    if (handled > 0)
        SyncFolderOf(folder + "/.");
    return handled;
}

bool SyncFolderOf(const std::string& path) {
    if (const int fault = InjectedFault("fsync"); fault != 0)
        return false;
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool PlaceNewFile(const std::string& tempName, const std::string& target) {
    if (const int fault = InjectedFault("renameat2"); fault != 0)
        errno = fault;
    else if (::renameat2(AT_FDCWD, tempName.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
             0)
        return true;
    if (!Unsupported(errno))
        return false;
    // A second name never replaces a file either; the temporary name goes afterwards.
    if (Link(tempName, target) == 0) {
        Unlink(tempName);
        return true;
    }
    if (!Unsupported(errno))
        return false;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return Rename(tempName, target) == 0;
}

bool CommitFiles(const std::vector<TPendingFile>& files, TCommitError* error) {
    // How each target took its new file, which says how to undo and finish it.
    enum class TWay {
        Placed,    // no target before: the pending file was renamed to it
        Exchanged, // swapped with the old file, which now waits under the temporary name
        Linked,    // the old file got a second name (Aside), then the new one replaced it
        SetAside,  // no links here: the old file was renamed to Aside first
    };
    struct TStep {
        const TPendingFile* File;
        TWay Way;
        std::string Aside;
    };
    std::vector<TStep> steps;
    const auto undo = [&](const std::string& target, int code) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            const std::string& name = it->File->Target;
            const std::string& temp = it->File->TempName;
            switch (it->Way) {
            case TWay::Placed:
                Rename(name, temp);
                break;
            case TWay::Exchanged:
                Exchange(temp, name);
                break;
            case TWay::Linked:
                Link(name, temp);
                Rename(it->Aside, name);
                break;
            case TWay::SetAside:
                Rename(name, temp);
                Rename(it->Aside, name);
                break;
            }
        }
        if (error != nullptr)
            *error = {target, code != 0 ? code : EIO};
        return false;
    };
    for (const TPendingFile& file : files) {
        const std::string& target = file.Target;
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return undo(target, errno);
            if (Rename(file.TempName, target) != 0)
                return undo(target, errno);
            steps.push_back({&file, TWay::Placed, {}});
            continue;
        }
        if (S_ISDIR(st.st_mode))
            return undo(target, EISDIR);
        if (Exchange(file.TempName, target) == 0) {
            steps.push_back({&file, TWay::Exchanged, {}});
            continue;
        }
        if (!Unsupported(errno))
            return undo(target, errno);
        // One file needs no way back: a plain rename replaces it atomically.
        if (files.size() == 1) {
            if (Rename(file.TempName, target) != 0)
                return undo(target, errno);
            continue;
        }
        const std::string aside = AsideName(target);
        if (Link(target, aside) == 0) {
            if (Rename(file.TempName, target) != 0) {
                const int code = errno;
                Unlink(aside);
                return undo(target, code);
            }
            steps.push_back({&file, TWay::Linked, aside});
            continue;
        }
        if (!Unsupported(errno))
            return undo(target, errno);
        // Neither exchange nor links (vfat): for an instant the old file has only its aside
        // name, which RemoveStaleTemporaries gives back after a kill.
        if (Rename(target, aside) != 0)
            return undo(target, errno);
        if (Rename(file.TempName, target) != 0) {
            const int code = errno;
            Rename(aside, target);
            return undo(target, code);
        }
        steps.push_back({&file, TWay::SetAside, aside});
    }
    std::set<std::string> folders;
    for (const TStep& step : steps) {
        if (step.Way == TWay::Exchanged)
            Unlink(step.File->TempName);
        else if (!step.Aside.empty())
            Unlink(step.Aside);
        folders.insert(FolderOf(step.File->Target));
    }
    for (const TPendingFile& file : files)
        folders.insert(FolderOf(file.Target));
    for (const std::string& folder : folders)
        SyncFolderOf(folder + "/.");
    return true;
}
