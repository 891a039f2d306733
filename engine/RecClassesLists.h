#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "engine/RecClassesBlocks.h"
#include "platform/SystemTime.h"

// What a memory scan learns of the recorder's content: one record per recording, with its
// blocks, its sound pages and its voice parts (the stretches between breaks), one record per
// flash-drive file with its blocks, and the empty blocks. The recorder object owns them all.

// One block found by the scan. Entries of the empty-block list carry only the block number.
struct TBlockEntry {
    std::uint16_t Block = 0;
    std::uint16_t PagesPerBlock = 0;
    TBlockHeader Header;
    TFirstBlockData FirstBlockData; // bytes 64..89 of the block when its header says so
};

class TBlockList {
public:
    int Add(const TBlockEntry& entry);
    int Count() const { return static_cast<int>(Items.size()); }
    const TBlockEntry& Get(int index) const { return Items.at(static_cast<std::size_t>(index)); }
    TBlockEntry& Get(int index) { return Items.at(static_cast<std::size_t>(index)); }
    void Clear() { Items.clear(); }
    std::vector<TBlockEntry>& Entries() { return Items; }
    const std::vector<TBlockEntry>& Entries() const { return Items; }

private:
    std::vector<TBlockEntry> Items;
};

// One page of a recording, in recording order.
struct TSoundPage {
    double Time = 0;              // Unix time of the page's first sample
    std::uint32_t Second = 0;     // the time truncated to whole seconds
    std::uint32_t Page = 0;       // page address
    std::uint32_t DataOffset = 0; // first byte of sound in the page
    std::uint8_t Break = 0;       // 1: the recording breaks or ends after this page
};

// A recording's own list owns its pages; a voice part's list is a view of a stretch of the
// recording's pages, so each page exists once.
class TSoundPageList {
public:
    int Add(const TSoundPage& page); // owning lists only
    int Count() const { return Shared ? SharedCount : static_cast<int>(Own.size()); }
    const TSoundPage& Get(int index) const;
    TSoundPage& GetOwned(int index) { return Own.at(static_cast<std::size_t>(index)); }
    void Reserve(std::size_t pages) { Own.reserve(pages); }
    void Clear();
    bool OwnsEntries() const { return Shared == nullptr; }

    // A view of count pages of owner from first on. The owner must not grow afterwards.
    static TSoundPageList SharedRange(const TSoundPageList& owner, int first, int count);

private:
    std::vector<TSoundPage> Own;
    const TSoundPage* Shared = nullptr;
    int SharedCount = 0;
};

class TSoundFileInfo;
class TSoundFileList;

// The public part of a recording (also the base of the main window's record entries).
class TCustomSoundFileInfo {
public:
    virtual ~TCustomSoundFileInfo() = default;
    TCustomSoundFileInfo() = default;
    TCustomSoundFileInfo(const TCustomSoundFileInfo&) = default;
    TCustomSoundFileInfo& operator=(const TCustomSoundFileInfo&) = default;

    std::uint16_t Number = 0;                 // file number; for a voice part its position from 1
    std::string Name;                         // the number; for a voice part "<recording>.<part>"
    std::int64_t Size = 0;                    // bytes on the recorder
    TSystemTime Start;                        // local time of the first page
    std::uint32_t Duration = 0;               // seconds, truncated
    TWaveFormat WaveFormat;                   // PCM format of the decoded sound
    std::array<std::uint8_t, 128> Reserved{}; // carried to the voice parts
    std::string CallText;                     // direction and number of the call, or empty
    std::string ModeText;                     // rate, compression, cyclic and VAS marks
    std::uint8_t Status = StatusNotDownloaded;
    float SecondsPerBlock = 0;
    std::uint8_t SourceCompression = SourceNone;
    TSoundFileInfo* Parent = nullptr;     // a voice part's recording
    TSoundFileList* VoiceParts = nullptr; // the recording's voice parts; null before the scan
};

class TSoundFileInfo : public TCustomSoundFileInfo {
public:
    TSoundFileInfo();
    ~TSoundFileInfo() override;
    TSoundFileInfo(const TSoundFileInfo&) = delete;
    TSoundFileInfo& operator=(const TSoundFileInfo&) = delete;

    // Creates the empty voice-part list (replacing any earlier one).
    TSoundFileList& CreateVoicePartList();

    TBlockHeader FirstHeader; // voted header of the first block
    double SecondsPerPage = 0;
    TBlockList Blocks; // sorted by block time once the scan has collected the recording
    TSoundPageList Pages;

private:
    std::unique_ptr<TSoundFileList> OwnedVoiceParts;
};

// Read access to a list of recordings, as the views use it.
class TCustomSoundFileList {
public:
    virtual ~TCustomSoundFileList() = default;
    virtual int Count() const = 0;
    virtual TCustomSoundFileInfo* GetInfo(int index) const = 0;
};

// The records a scan found, each owned by the list, behind the read interface TView that the
// views use. Recordings and drive files both keep their lists this way.
template <class TInfo, class TView> class TOwnedInfoList : public TView {
public:
    int Add(std::unique_ptr<TInfo> info);
    int Count() const override { return static_cast<int>(Items.size()); }
    TInfo* Get(int index) const;
    // Frees every record with all it owns.
    void Clear() { Items.clear(); }
    // Frees the records from index count on.
    void Truncate(int count);
    // The index of the first record with the number, -1 when none.
    int FindByNumber(std::uint16_t number) const;

private:
    std::vector<std::unique_ptr<TInfo>> Items;
};

class TSoundFileList : public TOwnedInfoList<TSoundFileInfo, TCustomSoundFileList> {
public:
    TCustomSoundFileInfo* GetInfo(int index) const override { return Get(index); }
    // The recording with the number, or null.
    TSoundFileInfo* ByNumber(std::uint16_t number) const;
};

// The public part of a flash-drive file.
class TCustomDriveFileInfo {
public:
    virtual ~TCustomDriveFileInfo() = default;
    TCustomDriveFileInfo() = default;
    TCustomDriveFileInfo(const TCustomDriveFileInfo&) = default;
    TCustomDriveFileInfo& operator=(const TCustomDriveFileInfo&) = default;

    std::uint16_t Number = 0; // header file number without bit 15
    // As read from the first page (UTF-8 here); may hold a folder path with "\". Whoever turns
    // it into a PC path must sanitise it.
    std::string Name;
    std::int64_t Size = 0;
    TSystemTime Date;
    std::string SecondText;
    std::uint8_t Folder = 0; // 1: the entry is a folder
    // Set when the file's blocks do not run 1, 2, ... without a gap, or its size does not fit
    // its blocks: its content cannot be read back whole.
    std::uint8_t Incomplete = 0;
};

class TDriveFileInfo : public TCustomDriveFileInfo {
public:
    TBlockList Blocks; // in file order once the scan has collected the file
    TBlockHeader FirstHeader;
};

class TCustomDriveFileList {
public:
    virtual ~TCustomDriveFileList() = default;
    virtual int Count() const = 0;
    virtual TCustomDriveFileInfo* GetInfo(int index) const = 0;
    // The index of the first file whose name equals the text exactly, -1 when none.
    virtual int IndexOfName(const std::string& name) const = 0;
};

class TDriveFileList : public TOwnedInfoList<TDriveFileInfo, TCustomDriveFileList> {
public:
    TCustomDriveFileInfo* GetInfo(int index) const override { return Get(index); }
    int IndexOfName(const std::string& name) const override;
};

// Both instances are made once, in the lists' own source file.
extern template class TOwnedInfoList<TSoundFileInfo, TCustomSoundFileList>;
extern template class TOwnedInfoList<TDriveFileInfo, TCustomDriveFileList>;
