#include "platform/PosixFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

TPosixFile::~TPosixFile() {
    Close();
}

TPosixFile::TPosixFile(TPosixFile&& other) noexcept
    : Fd(std::exchange(other.Fd, -1)), WriteThrough(other.WriteThrough) {}

TPosixFile& TPosixFile::operator=(TPosixFile&& other) noexcept {
    if (this != &other) {
        Close();
        Fd = std::exchange(other.Fd, -1);
        WriteThrough = other.WriteThrough;
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
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (WriteThrough && done > 0)
        ::fdatasync(Fd);
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
    return Fd >= 0 && ::fdatasync(Fd) == 0;
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
