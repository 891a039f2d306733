#include "engine/RecClassesJournal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "audio/Crc.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

namespace {

namespace fs = std::filesystem;

// Layout of a copy, little-endian:
//   0  4  "QVBJ"            28 20 old header
//   4  4  block             48 20 new header
//   8  4  physical block    68  4 key length k
//  12  4  first page        72  k key
//  16  4  pages             ..  n the block (pages x page size)
//  20  4  page size         ..  4 CRC-32 of everything before
//  24  4  0 (reserved)
constexpr std::uint8_t Magic[4] = {'Q', 'V', 'B', 'J'};
constexpr std::size_t FixedSize = 72;
constexpr std::size_t MaxKeySize = 4096;
constexpr std::uint64_t MaxBlockBytes = 16u << 20;
constexpr const char* Suffix = ".blk";
constexpr const char* TempSuffix = ".blk.tmp";

std::mutex FolderLock;
std::string& FolderSetting() {
    static std::string folder;
    return folder;
}

std::string DefaultDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
        return (fs::path(xdg) / "Quorvex").string();
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0)
        return (fs::path(home) / ".local" / "share" / "Quorvex").string();
    return (fs::temp_directory_path() / "Quorvex").string();
}

fs::path JournalFolder() {
    return fs::path(RecorderDataFolder()) / "status-journal";
}

// The serial number keeps the names readable; the hash tells image files apart.
std::string FilePrefix(const std::string& recorderKey) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const unsigned char c : recorderKey)
        hash = (hash ^ c) * 0x100000001B3ull;
    std::string serial;
    for (const char c : recorderKey.substr(0, recorderKey.find('|')))
        if (std::isalnum(static_cast<unsigned char>(c)) && serial.size() < 32)
            serial.push_back(c);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return serial + "-" + hex + "-";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::uint32_t Crc(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    TCrc32 crc;
    crc.Update(bytes.data(), count);
    return crc.GetValue();
}

} // namespace

void SetRecorderDataFolder(const std::string& folder) {
    std::lock_guard lock(FolderLock);
    FolderSetting() = folder;
}

std::string RecorderDataFolder() {
    std::lock_guard lock(FolderLock);
    return FolderSetting().empty() ? DefaultDataFolder() : FolderSetting();
}

std::string BlockJournalPath(const std::string& recorderKey, std::uint32_t block) {
    return (JournalFolder() / (FilePrefix(recorderKey) + std::to_string(block) + Suffix)).string();
}

bool WriteBlockJournal(const TBlockJournal& j, std::string& whyNot) {
    std::vector<std::uint8_t> out(FixedSize, 0);
    std::copy(std::begin(Magic), std::end(Magic), out.begin());
    PutU32(&out[4], j.Block);
    PutU32(&out[8], j.PhysicalBlock);
    PutU32(&out[12], j.FirstPage);
    PutU32(&out[16], j.Pages);
    PutU32(&out[20], j.PageSize);
    j.OldHeader.WriteTo(&out[28]);
    j.NewHeader.WriteTo(&out[48]);
    PutU32(&out[68], static_cast<std::uint32_t>(j.RecorderKey.size()));
    out.insert(out.end(), j.RecorderKey.begin(), j.RecorderKey.end());
    out.insert(out.end(), j.Bytes.begin(), j.Bytes.end());
    std::uint8_t crc[4];
    PutU32(crc, Crc(out, out.size()));
    out.insert(out.end(), crc, crc + 4);

    std::error_code error;
    fs::create_directories(JournalFolder(), error);
    const std::string path = BlockJournalPath(j.RecorderKey, j.Block);
    const std::string temp = path.substr(0, path.size() - std::string(Suffix).size()) + TempSuffix;
    TPosixFile file;
    if (!file.Open(temp, TPosixFile::TMode::CreateTruncate)) {
        whyNot = error ? error.message() : std::string(std::strerror(errno));
        return false;
    }
    const bool written = file.WriteExact(0, out.data(), out.size()) && file.Sync();
    const int writeErrno = file.GetLastErrno();
    file.Close();
    if (!written || !RenameFile(temp, path) || !SyncFolderOf(path)) {
        whyNot = std::strerror(writeErrno != 0 ? writeErrno : errno);
        RemoveFile(temp);
        return false;
    }
    return true;
}

std::optional<TBlockJournal> ReadBlockJournal(const std::string& path) {
    TPosixFile file;
    if (!file.Open(path, TPosixFile::TMode::ReadOnly))
        return std::nullopt;
    const std::int64_t size = file.Size();
    if (size < static_cast<std::int64_t>(FixedSize + 4) ||
        static_cast<std::uint64_t>(size) > FixedSize + MaxKeySize + MaxBlockBytes + 4)
        return std::nullopt;
    std::vector<std::uint8_t> in(static_cast<std::size_t>(size));
    if (!file.ReadExact(0, in.data(), in.size()) ||
        !std::equal(std::begin(Magic), std::end(Magic), in.begin()))
        return std::nullopt;
    if (GetU32(&in[in.size() - 4]) != Crc(in, in.size() - 4))
        return std::nullopt;
    TBlockJournal j;
    j.Block = GetU32(&in[4]);
    j.PhysicalBlock = GetU32(&in[8]);
    j.FirstPage = GetU32(&in[12]);
    j.Pages = GetU32(&in[16]);
    j.PageSize = GetU32(&in[20]);
    j.OldHeader = TBlockHeader::FromBytes(&in[28]);
    j.NewHeader = TBlockHeader::FromBytes(&in[48]);
    const std::uint64_t keySize = GetU32(&in[68]);
    const std::uint64_t blockBytes = std::uint64_t{j.Pages} * j.PageSize;
    if (keySize > MaxKeySize || blockBytes < HeaderAreaSize ||
        FixedSize + keySize + blockBytes + 4 != in.size())
        return std::nullopt;
    j.RecorderKey.assign(in.begin() + FixedSize, in.begin() + FixedSize + keySize);
    const auto data = in.begin() + static_cast<std::ptrdiff_t>(FixedSize + keySize);
    j.Bytes.assign(data, data + static_cast<std::ptrdiff_t>(blockBytes));
    return j;
}

bool RemoveBlockJournal(const std::string& path) {
    return RemoveFile(path) && SyncFolderOf(path);
}

std::vector<std::string> BlockJournalsOf(const std::string& recorderKey) {
    std::vector<std::pair<std::uint64_t, std::string>> found;
    const std::string prefix = FilePrefix(recorderKey);
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(JournalFolder(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        if (EndsWith(name, TempSuffix)) {
            RemoveFile(entry.path().string());
            continue;
        }
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() -
                                                                  (EndsWith(name, Suffix) ? 4 : 0));
        if (!EndsWith(name, Suffix) || number.empty() ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        found.emplace_back(std::stoull(number.substr(0, 10)), entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [block, path] : found)
        paths.push_back(std::move(path));
    return paths;
}
