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
        // A new temporary file, read and write, that is to become path. Where the file
        // system allows it, it has no name until Publish, so a killed process leaves nothing
        // behind; elsewhere it is created under path at once. Stale temporaries of the folder
        // (RemoveStaleTemporaries) go first.
        CreateTemporary,
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
    // Gives a temporary without a name the name it was opened with; true when it has it.
    // A file closed before it was published vanishes.
    bool Publish();

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
    // Sets the permission bits (chmod's mode).
    bool SetMode(unsigned mode);
    bool Sync();
    // The system's error number of the last write or sync that failed; 0 while none has.
    int GetLastErrno() const { return LastErrno; }

private:
    int Fd = -1;
    bool WriteThrough = false;
    int LastErrno = 0;
    bool Unnamed = false;
    std::string PendingName; // the name an unnamed temporary gets on Publish
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

// The name of a new temporary beside target: target + ".tmp~" + process id + "_" + a count.
// The process id lets a later run tell a dead run's leftovers from live ones.
std::string MakeTemporaryName(const std::string& target);

// Cleans up after runs that were killed: in folder, every "NAME.tmp~PID_N" and
// "NAME.old~PID_N" whose process is gone is removed, except that a set-aside "NAME.old~"
// file goes back to NAME when NAME is missing. Returns the count of entries handled.
int RemoveStaleTemporaries(const std::string& folder);

// Test seam: called before each call that creates, writes, flushes, renames or removes a
// file, with the call's name ("open", "open_tmpfile", "write", "fdatasync", "linkat",
// "renameat2", "rename", "link", "unlink", "fsync"); a result other than 0 makes that call
// fail with that error number. A test's hook may also end the process there.
using TFileStepHook = int (*)(const char* call);
void SetFileStepHook(TFileStepHook hook);

// Puts a finished temporary in place under target only while no file has that name, in one
// atomic step where the file system allows it; false (errno EEXIST when the name is taken)
// with the temporary left as it was otherwise.
bool PlaceNewFile(const std::string& tempName, const std::string& target);

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

// Puts every pending file in place as one step. Each pending file takes its target's name in
// one atomic call (exchanged with an existing target, so the old file waits under the
// temporary name until all are in place), so at every instant each target holds its old or
// its new complete file; the old files go once all are in place and the folders are flushed
// to the disk. A target that is a folder is never replaced. When any step fails, the steps
// done are undone (the user's files come back under their names), the pending files stay
// under their temporary names and the result is false. A run killed part-way leaves each
// target whole; its leftovers go with RemoveStaleTemporaries.
bool CommitFiles(const std::vector<TPendingFile>& files, TCommitError* error = nullptr);
