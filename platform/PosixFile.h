#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    // The system's error number of the last write or sync that failed; 0 while none has.
    int GetLastErrno() const { return LastErrno; }

private:
    int Fd = -1;
    bool WriteThrough = false;
    int LastErrno = 0;
};

bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// Replaces target atomically where the file system allows it.
bool RenameFile(const std::string& from, const std::string& to);

// True for an existing folder (or a link to one).
bool IsDirectory(const std::string& path);
// The folder part of a path: "." for a bare name, "/" for a name right below the root.
std::string FolderOf(const std::string& path);
// The name inside the folder, with one "/" between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Flushes the entries of the folder that holds path to the disk, so that a file created or
// renamed there is still there after a crash.
bool SyncFolderOf(const std::string& path);

// A finished file waiting under a temporary name beside the file it is to become.
struct TPendingFile {
    std::string TempName;
    std::string Target;
};

// Where and why CommitFiles failed.
struct TCommitError {
    std::string Target;
    int Errno = 0;
};

// Puts every pending file in place as one step: each target that exists is set aside, then
// the pending file is renamed over it; the set-aside files go once all are in place and the
// folders are flushed to the disk. A target that is a folder is never replaced. When any step
// fails, the steps done are undone (the user's files come back under their names), the
// pending files stay under their temporary names and the result is false.
bool CommitFiles(const std::vector<TPendingFile>& files, TCommitError* error = nullptr);
