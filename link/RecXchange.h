#pragma once

#include <array>
#include <cstdint>
#include <string>

// The one exchange with the recorder: a numbered command with an outgoing record and an
// expected incoming record. Two implementations share this signature: the SPI adapter's
// ExchangeCmd and the image file's ImageExchangeCmd. Every failure throws TERecXchange.
using TExchangeCmdFunc = void (*)(std::uint8_t command, const void* out, std::uint32_t outSize,
                                  void* in, std::uint32_t inSize, std::uint32_t timeoutMs);
using TProbeRecorderFunc = bool (*)();

// The transport pair in use, set by the recorder object's constructor.
extern TExchangeCmdFunc ExchangeCmdFunc;
extern TProbeRecorderFunc ProbeRecorderFunc;

// Transport error codes.
enum TRecErrorCode : int {
    RecErrSuccess = 0,
    RecErrIo = 1,             // not supported by the image file, or a file access failed
    RecErrStatus2 = 2,        // the recorder's reply carries status 2
    RecErrNotTried = 3,       // starting value of the retry loop; never reported
    RecErrStatus4 = 4,        // the recorder's reply carries status 4
    RecErrChecksum = 5,       // CRC-16 of the reply frame does not match
    RecErrTimeout = 6,        // no reply within the time-out
    RecErrOutSize = 7,        // outgoing data too large
    RecErrInSize = 8,         // reply too large, or not the size the caller expects
    RecErrNoPacket = 9,       // a bulk read saw three windows without a packet
    RecErrNotConnected = 255, // the adapter cannot be opened
};

// The message of the exception for each code.
const char* RecErrorMessage(int errorCode);

// A failed recorder exchange. The message is wide text of at most 259 characters.
class TERecXchange {
public:
    static constexpr std::size_t MessageCapacity = 260;

    TERecXchange(const std::string& message, int command, int errorCode);

    std::u16string Message() const;
    std::string MessageUtf8() const;
    int Command() const { return CommandCode; }
    int ErrorCode() const { return Code; }

private:
    std::array<char16_t, MessageCapacity> Text{};
    int CommandCode;
    int Code;
};

// Command codes; the names are those the debug log prints.
enum TRecorderCommand : std::uint8_t {
    CmdRtc = 1,
    CmdFlashRead = 2,
    CmdFlashWrite = 3,
    CmdEraseBlock = 4,
    CmdProf = 6,
    CmdActiveProf = 7,
    CmdPwVolt = 8,
    CmdFwVer = 9,
    CmdProdParam = 10,
    CmdFlashParam = 12,
    CmdCheckPw = 13,
    CmdSetDefault = 14,
    CmdCloseLink = 15,
    CmdEraseBlockPhy = 16,
};

// Time-outs in milliseconds.
constexpr std::uint32_t RtcPollTimeoutMs = 100;
constexpr std::uint32_t DefaultTimeoutMs = 1000;
constexpr std::uint32_t EraseBlockPhyTimeoutMs = 3000;

// Request flag, byte 0 of a record.
constexpr std::uint8_t RequestGet = 0x00;
constexpr std::uint8_t RequestSet = 0xFF;

// The largest framed record either way.
constexpr std::uint32_t MaxFrameData = 128;

// FLASH_READ and FLASH_WRITE carry host pointers: they are native structs passed by their
// size to the exchange function, never records on the wire.
struct TFlashReadRequest {
    std::uint8_t* HostBuffer = nullptr; // unit i lands at HostBuffer + i * Count
    std::uint32_t PageAddr = 0;         // first page
    std::uint32_t Cycles = 0;           // number of units
    std::uint16_t Count = 0;            // bytes per unit
    std::uint16_t Offset = 0;           // byte offset of each unit within its page
    std::uint16_t AddrInc = 0;          // pages between the starts of consecutive units
};

struct TFlashWriteRequest {
    const std::uint8_t* Data = nullptr;
    std::uint32_t PageAddr = 0;   // first page
    std::uint32_t Cycles = 0;     // number of pages
    std::uint32_t TotalCount = 0; // bytes: whole pages including their spare areas
};

// Wire records, little-endian, with their sizes fixed.
struct TRtcRecord {
    static constexpr std::size_t Size = 5;
    std::uint8_t Request = RequestGet;
    std::uint32_t Time = 0; // seconds since 1970-01-01 00:00, recorder's local time
    std::array<std::uint8_t, Size> ToBytes() const;
    static TRtcRecord FromBytes(const std::uint8_t* bytes);
};

struct TBlockNumberRecord { // ERASE_BLOCK and ERASE_BLOCK_PHY
    static constexpr std::size_t Size = 4;
    std::uint32_t BlockNumber = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TBlockNumberRecord FromBytes(const std::uint8_t* bytes);
};

struct TActiveProfRecord {
    static constexpr std::size_t Size = 2;
    std::uint8_t Request = RequestGet;
    std::uint8_t ProfileIndex = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TActiveProfRecord FromBytes(const std::uint8_t* bytes);
};

struct TPwVoltRecord {
    static constexpr std::size_t Size = 2;
    std::uint16_t Millivolts = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TPwVoltRecord FromBytes(const std::uint8_t* bytes);
};

struct TFwVerRecord {
    static constexpr std::size_t Size = 4;
    std::uint16_t Version = 0; // high byte: model number
    std::uint16_t Second = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TFwVerRecord FromBytes(const std::uint8_t* bytes);
};

struct TProdParamRecord {
    static constexpr std::size_t Size = 9;
    std::uint8_t Request = RequestGet;
    std::uint32_t SerialNumber = 0;
    std::array<std::uint8_t, 4> Rest{};
    std::array<std::uint8_t, Size> ToBytes() const;
    static TProdParamRecord FromBytes(const std::uint8_t* bytes);
};

struct TFlashParamRecord {
    static constexpr std::size_t Size = 11;
    std::uint8_t FlashCount = 0;
    std::uint16_t PagesPerBlock = 0;
    std::uint16_t BlocksPerFlash = 0;
    std::uint16_t PageSize = 0; // bytes of a page including its spare area
    std::uint16_t FirstRecBlock = 0;
    std::uint16_t TransferDivisor = 0; // pages of one transfer = PagesPerBlock / divisor
    std::array<std::uint8_t, Size> ToBytes() const;
    static TFlashParamRecord FromBytes(const std::uint8_t* bytes);
};

struct TCheckPwRecord {
    static constexpr std::size_t Size = 21;
    static constexpr std::size_t PasswordSize = 20;
    std::uint8_t Request = RequestGet; // 0x00 check, 0xFF store a new one
    std::array<std::uint8_t, PasswordSize> Password{};
    std::array<std::uint8_t, Size> ToBytes() const;
    static TCheckPwRecord FromBytes(const std::uint8_t* bytes);
};

struct TSetDefaultRecord {
    static constexpr std::size_t Size = 1;
    std::uint8_t Request = RequestGet; // 0xFF also erases the memory
    std::array<std::uint8_t, Size> ToBytes() const;
    static TSetDefaultRecord FromBytes(const std::uint8_t* bytes);
};

// Size of one TRecProfile on the wire (PROF).
constexpr std::size_t ProfRecordSize = 37;

// The size of the recorder's reply to a framed command; -1 for the bulk commands (FLASH_READ,
// FLASH_WRITE) and for codes the recorder does not answer.
std::int64_t FramedReplySize(std::uint8_t command);

// The log name of a command, or "" for codes without one.
const char* CommandLogName(std::uint8_t command);

// The log line describing a command before it is sent (record = outgoing record) or its
// result after it succeeded (record = incoming buffer); empty when there is nothing to say.
// Fields are printed only when the record holds them.
std::string DescribeCommandText(bool before, std::uint8_t command, const void* record,
                                std::uint32_t size);
// Writes DescribeCommandText to the debug log.
void DescribeCommand(bool before, std::uint8_t command, const void* record, std::uint32_t size);
// "FAILED!!! Cmd: %d; ErrCode: %d"
void LogExchangeFailure(const TERecXchange& error);
