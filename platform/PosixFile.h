#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file handle over a POSIX descriptor with positioned, 64-bit reads and writes.
// Stands in for the platform's file handles; closes itself on destruction.
class TPosixFile {
public:
    enum class TMode {
        ReadOnly,       // existing file, read only
        ReadWrite,      // existing file, read and write
        CreateTruncate, // new or emptied file, read and write
    };

    TPosixFile() = default;
    ~TPosixFile();
    TPosixFile(const TPosixFile&) = delete;
    TPosixFile& operator=(const TPosixFile&) = delete;
    TPosixFile(TPosixFile&& other) noexcept;
    TPosixFile& operator=(TPosixFile&& other) noexcept;

    // Writes go through to the disk (fdatasync after each write) when writeThrough is set.
    bool Open(const std::string& path, TMode mode, bool writeThrough = false);
    void Close();
    bool IsOpen() const { return Fd >= 0; }

    // Both loop over partial transfers; they return the bytes moved (short only at the
    // end of the file or on an error).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    std::size_t WriteAt(std::uint64_t offset, const void* buffer, std::size_t size);
    // True only when every byte was moved.
    bool ReadExact(std::uint64_t offset, void* buffer, std::size_t size) const {
        return ReadAt(offset, buffer, size) == size;
    }
    bool WriteExact(std::uint64_t offset, const void* buffer, std::size_t size) {
        return WriteAt(offset, buffer, size) == size;
    }

    // -1 when the size cannot be read.
    std::int64_t Size() const;
    bool Truncate(std::uint64_t size);
    bool Sync();

private:
    int Fd = -1;
    bool WriteThrough = false;
};

bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// Replaces target atomically where the file system allows it.
bool RenameFile(const std::string& from, const std::string& to);
