#include "audio/RiffFile.h"

#include <cerrno>

#include "platform/ByteOrder.h"

namespace {
// The largest size a chunk can state.
constexpr std::uint64_t MaxChunkSize = 0xFFFFFFFFu;

bool HasFormType(std::uint32_t id) {
    return id == RiffId || id == ListId;
}
} // namespace

TRiffFile::~TRiffFile() {
    Close();
}

bool TRiffFile::OpenRead(const std::string& path) {
    Close();
    if (!File.Open(path, TPosixFile::TMode::ReadOnly)) {
        LastErrno = errno;
        return false;
    }
    const std::int64_t size = File.Size();
    if (size < 0) {
        LastErrno = errno;
        File.Close();
        return false;
    }
    FileSize = static_cast<std::uint64_t>(size);
    Writing = false;
    Position = 0;
    return true;
}

bool TRiffFile::Create(const std::string& path) {
    Close();
    if (!File.Open(path, TPosixFile::TMode::CreateTemporary)) {
        LastErrno = errno;
        return false;
    }
    Writing = true;
    Position = 0;
    FileSize = 0;
    return true;
}

bool TRiffFile::Close() {
    const bool wasOpen = File.IsOpen();
    File.Close();
    OpenChunks.clear();
    Writing = false;
    Position = 0;
    FileSize = 0;
    return wasOpen;
}

bool TRiffFile::Publish() {
    if (File.Publish())
        return true;
    LastErrno = File.GetLastErrno() != 0 ? File.GetLastErrno() : EIO;
    return false;
}

bool TRiffFile::Sync() {
    if (File.Sync())
        return true;
    LastErrno = File.GetLastErrno() != 0 ? File.GetLastErrno() : EIO;
    return false;
}

std::int64_t TRiffFile::Read(void* buffer, std::size_t count) {
    if (!File.IsOpen())
        return -1;
    errno = 0;
    const std::size_t done = File.ReadAt(Position, buffer, count);
    if (done < count && errno != 0)
        LastErrno = errno;
    Position += done;
    return static_cast<std::int64_t>(done);
}

std::int64_t TRiffFile::Write(const void* data, std::size_t count) {
    if (!File.IsOpen() || !Writing)
        return -1;
    errno = 0;
    const std::size_t done = File.WriteAt(Position, data, count);
    Position += done;
    if (Position > FileSize)
        FileSize = Position;
    if (done < count) {
        LastErrno = File.GetLastErrno() != 0 ? File.GetLastErrno() : EIO;
        return -1;
    }
    return static_cast<std::int64_t>(done);
}

TRiffStatus TRiffFile::Descend(TRiffChunk& chunk, const TRiffChunk* parent, std::uint32_t id,
                               std::uint32_t formType, TRiffOverstated overstated) {
    if (!File.IsOpen())
        return TRiffStatus::NotOpen;
    std::uint64_t end = FileSize;
    if (parent != nullptr && BodyEnd(*parent) < end)
        end = BodyEnd(*parent);
    std::uint64_t at = Position;
    // Every step moves past a header of 8 bytes at least, so the walk always ends.
    while (at + RiffChunkHeaderSize <= end) {
        std::uint8_t header[RiffChunkHeaderSize + 4];
        const bool wantsFormType = HasFormType(id);
        const std::size_t headerBytes = RiffChunkHeaderSize + (wantsFormType ? 4 : 0);
        const std::size_t got = File.ReadAt(at, header, headerBytes);
        if (got < RiffChunkHeaderSize)
            return TRiffStatus::IoError;
        const std::uint32_t foundId = GetU32(header);
        const std::uint32_t stated = GetU32(header + 4);
        std::uint32_t size = stated;
        const std::uint64_t body = at + RiffChunkHeaderSize;
        const bool idMatches = foundId == id;
        if (idMatches) {
            if (body + size > end) {
                if (overstated == TRiffOverstated::Refuse)
                    return TRiffStatus::PastParent;
                size = static_cast<std::uint32_t>(end - body);
            }
            std::uint32_t foundForm = 0;
            if (wantsFormType) {
                if (size < 4 || got < headerBytes)
                    return TRiffStatus::PastParent;
                foundForm = GetU32(header + 8);
            }
            if (formType == 0 || foundForm == formType) {
                chunk.Id = foundId;
                chunk.Size = size;
                chunk.FormType = foundForm;
                chunk.DataOffset = body;
                chunk.Flags = 0;
                chunk.StatedSize = stated;
                Position = body + (wantsFormType ? 4 : 0);
                return TRiffStatus::Ok;
            }
        }
        at = body + size + (size & 1u);
    }
    return TRiffStatus::NotFound;
}

TRiffStatus TRiffFile::CreateChunk(TRiffChunk& chunk, std::uint32_t id, std::uint32_t size,
                                   std::uint32_t formType) {
    if (!File.IsOpen())
        return TRiffStatus::NotOpen;
    if (!Writing)
        return TRiffStatus::Misuse;
    std::uint8_t header[RiffChunkHeaderSize + 4];
    PutU32(header, id);
    PutU32(header + 4, size);
    std::size_t headerBytes = RiffChunkHeaderSize;
    if (HasFormType(id)) {
        PutU32(header + 8, formType);
        headerBytes += 4;
    }
    const std::uint64_t start = Position;
    if (Write(header, headerBytes) < 0)
        return TRiffStatus::IoError;
    chunk.Id = id;
    chunk.Size = size;
    chunk.FormType = HasFormType(id) ? formType : 0;
    chunk.DataOffset = start + RiffChunkHeaderSize;
    chunk.Flags = ChunkWritten;
    OpenChunks.push_back(chunk.DataOffset);
    return TRiffStatus::Ok;
}

TRiffStatus TRiffFile::Ascend(TRiffChunk& chunk) {
    if (!File.IsOpen())
        return TRiffStatus::NotOpen;
    if ((chunk.Flags & ChunkWritten) == 0) {
        // A chunk being read: move past its body and pad byte.
        Position = BodyEnd(chunk) + (chunk.Size & 1u);
        return TRiffStatus::Ok;
    }
    if (OpenChunks.empty() || OpenChunks.back() != chunk.DataOffset)
        return TRiffStatus::Misuse;
    if (Position < chunk.DataOffset)
        return TRiffStatus::Misuse;
    const std::uint64_t size = Position - chunk.DataOffset;
    if (size > MaxChunkSize)
        return TRiffStatus::Misuse;
    if (size & 1u) {
        const std::uint8_t pad = 0;
        if (Write(&pad, 1) < 0)
            return TRiffStatus::IoError;
    }
    const std::uint64_t after = Position;
    if (size != chunk.Size) {
        std::uint8_t field[4];
        PutU32(field, static_cast<std::uint32_t>(size));
        if (!File.WriteExact(chunk.DataOffset - 4, field, sizeof field)) {
            LastErrno = errno != 0 ? errno : EIO;
            return TRiffStatus::IoError;
        }
        chunk.Size = static_cast<std::uint32_t>(size);
    }
    Position = after;
    chunk.Flags &= ~ChunkWritten;
    OpenChunks.pop_back();
    return TRiffStatus::Ok;
}
