#include "platform/PosixFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

TPosixFile::~TPosixFile() {
    Close();
}

TPosixFile::TPosixFile(TPosixFile&& other) noexcept
    : Fd(std::exchange(other.Fd, -1)), WriteThrough(other.WriteThrough),
      LastErrno(other.LastErrno) {}

TPosixFile& TPosixFile::operator=(TPosixFile&& other) noexcept {
    if (this != &other) {
        Close();
        Fd = std::exchange(other.Fd, -1);
        WriteThrough = other.WriteThrough;
        LastErrno = other.LastErrno;
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
    }
    do {
        Fd = ::open(path.c_str(), flags, 0644);
    } while (Fd < 0 && errno == EINTR);
    WriteThrough = writeThrough;
    LastErrno = 0;
    return Fd >= 0;
}

void TPosixFile::Close() {
    if (Fd >= 0) {
        ::close(Fd);
        Fd = -1;
    }
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
    if (WriteThrough && done > 0 && ::fdatasync(Fd) != 0)
        LastErrno = errno;
    return done;
}

std::int64_t TPosixFile::Size() const {
    struct stat st {};
    if (Fd < 0 || ::fstat(Fd, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool TPosixFile::Truncate(std::uint64_t size) {
    return Fd >= 0 && ::ftruncate(Fd, static_cast<off_t>(size)) == 0;
}

bool TPosixFile::Sync() {
    if (Fd < 0)
        return false;
    if (::fdatasync(Fd) == 0)
        return true;
    LastErrno = errno;
    return false;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
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

namespace {

std::string AsideName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".old~" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

} // namespace

bool SyncFolderOf(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool CommitFiles(const std::vector<TPendingFile>& files, TCommitError* error) {
    struct TStep {
        const TPendingFile* File;
        std::string Aside; // where the user's file waits, empty when there was none
        bool Placed = false;
    };
    std::vector<TStep> steps;
    const auto undo = [&](const std::string& target, int code) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            if (it->Placed)
                std::rename(it->File->Target.c_str(), it->File->TempName.c_str());
            if (!it->Aside.empty())
                std::rename(it->Aside.c_str(), it->File->Target.c_str());
        }
        if (error != nullptr)
            *error = {target, code != 0 ? code : EIO};
        return false;
    };
    for (const TPendingFile& file : files) {
        TStep step{&file, {}, false};
        struct stat st {};
        if (::lstat(file.Target.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                return undo(file.Target, EISDIR);
            step.Aside = AsideName(file.Target);
            if (std::rename(file.Target.c_str(), step.Aside.c_str()) != 0)
                return undo(file.Target, errno);
        } else if (errno != ENOENT) {
            return undo(file.Target, errno);
        }
        steps.push_back(step);
        if (std::rename(file.TempName.c_str(), file.Target.c_str()) != 0)
            return undo(file.Target, errno);
        steps.back().Placed = true;
    }
    std::set<std::string> folders;
    for (const TStep& step : steps) {
        if (!step.Aside.empty())
            ::unlink(step.Aside.c_str());
        folders.insert(FolderOf(step.File->Target));
    }
    for (const std::string& folder : folders)
        SyncFolderOf(folder + "/.");
    return true;
}
