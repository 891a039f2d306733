#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PosixFile.h"

// Four-character chunk code as it reads in little-endian order from the file.
constexpr std::uint32_t MakeFourCc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

constexpr std::uint32_t RiffId = MakeFourCc('R', 'I', 'F', 'F');
constexpr std::uint32_t ListId = MakeFourCc('L', 'I', 'S', 'T');
constexpr int RiffChunkHeaderSize = 8;

// What is known of one chunk. DataOffset is the file offset of the body, which for RIFF and
// LIST starts with the form type; Size counts the body without its pad byte. StatedSize is
// the size its header gives, which a chunk cut to its parent's end exceeds.
struct TRiffChunk {
    std::uint32_t Id = 0;
    std::uint32_t Size = 0;
    std::uint32_t FormType = 0;
    std::uint64_t DataOffset = 0;
    std::uint32_t Flags = 0;
    std::uint32_t StatedSize = 0;
};

// What Descend does with a chunk whose stated size reaches past its parent or the file.
enum class TRiffOverstated {
    Refuse, // PastParent
    Cut,    // the chunk is taken with what its parent holds of it
};

enum class TRiffStatus {
    Ok,
    NotFound,   // no such chunk before the end of the parent (or of the file)
    PastParent, // the chunk found reaches past its parent or the file
    IoError,
    NotOpen,
    Misuse, // ascend out of a chunk that is not the innermost one being written, and the like
};

// RIFF reader and writer over one file: a stack of the chunks being written whose sizes are
// patched and padded on ascend, and descents that never look past the parent chunk or the end
// of the file.
class TRiffFile {
public:
    TRiffFile() = default;
    ~TRiffFile();
    TRiffFile(const TRiffFile&) = delete;
    TRiffFile& operator=(const TRiffFile&) = delete;

    bool OpenRead(const std::string& path);
    // A new temporary file that is to be named path: it has no name until Publish where the
    // file system allows it, so a process killed while writing leaves nothing behind.
    bool Create(const std::string& path);
    // Gives the created file its name; false (and the error number kept) when it fails.
    bool Publish();
    // Closes the handle whatever chunks are still open; false when the handle was not open.
    bool Close();
    // Flushes what was written to the disk; false (and the error number kept) when it fails.
    bool Sync();
    bool IsOpen() const { return File.IsOpen(); }
    bool IsWriting() const { return Writing; }

    std::uint64_t GetPosition() const { return Position; }
    void SetPosition(std::uint64_t position) { Position = position; }
    // The size of the file when it was opened for reading, or as far as it was written.
    std::uint64_t GetFileSize() const { return FileSize; }

    // Both move the position by the bytes transferred; -1 on an error.
    std::int64_t Read(void* buffer, std::size_t count);
    std::int64_t Write(const void* data, std::size_t count);

    // Walks the chunks from the current position up to the end of the parent (the file when
    // parent is null) and stops at the first one with the id (and, for RIFF and LIST, the form
    // type when formType is not 0). On Ok the position is at the chunk's body, after the form
    // type for RIFF and LIST.
    TRiffStatus Descend(TRiffChunk& chunk, const TRiffChunk* parent, std::uint32_t id,
                        std::uint32_t formType = 0,
                        TRiffOverstated overstated = TRiffOverstated::Refuse);
    // Writes a chunk header at the current position; size is a placeholder that Ascend
    // replaces by the bytes actually written. A RIFF or LIST chunk writes its form type.
    TRiffStatus CreateChunk(TRiffChunk& chunk, std::uint32_t id, std::uint32_t size = 0,
                            std::uint32_t formType = 0);
    // Leaves a chunk: a chunk being written gets its size patched and its pad byte; the
    // position moves past the body and the pad byte.
    TRiffStatus Ascend(TRiffChunk& chunk);

    // The end of the body of a chunk, bounded by the file when it was read.
    static std::uint64_t BodyEnd(const TRiffChunk& chunk) { return chunk.DataOffset + chunk.Size; }

    int GetLastErrno() const { return LastErrno; }

private:
    static constexpr std::uint32_t ChunkWritten = 1;

    TPosixFile File;
    bool Writing = false;
    std::uint64_t Position = 0;
    std::uint64_t FileSize = 0;
    std::vector<std::uint64_t> OpenChunks; // DataOffset of each chunk being written
    int LastErrno = 0;
};
