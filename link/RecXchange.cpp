#include "link/RecXchange.h"

#include <algorithm>
#include <cstdio>

#include "link/DebugLog.h"
#include "platform/ByteOrder.h"

TExchangeCmdFunc ExchangeCmdFunc = nullptr;
TProbeRecorderFunc ProbeRecorderFunc = nullptr;

const char* RecErrorMessage(int errorCode) {
    switch (errorCode) {
    case RecErrSuccess:
        return "";
    case RecErrIo:
        return "I/O Error";
    case RecErrOutSize:
        return "Invalid Out Data Size";
    case RecErrInSize:
        return "Invalid In Data Size";
    case RecErrNotConnected:
        return "Adapter not connected";
    default:
        return "Exchange error";
    }
}

namespace {

// UTF-8 to UTF-16 for the message texts; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
                 (text[i + 3] & 0x3F);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace

TERecXchange::TERecXchange(const std::string& message, int command, int errorCode)
    : CommandCode(command), Code(errorCode) {
    const std::u16string wide = Utf8ToUtf16(message);
    const std::size_t n = std::min(wide.size(), MessageCapacity - 1);
    std::copy_n(wide.begin(), n, Text.begin());
}

std::u16string TERecXchange::Message() const {
    return std::u16string(Text.data());
}
std::string TERecXchange::MessageUtf8() const {
    return Utf16ToUtf8(Message());
}

// --- wire records ---------------------------------------------------------------------------

std::array<std::uint8_t, TRtcRecord::Size> TRtcRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    b[0] = Request;
    PutU32(&b[1], Time);
    return b;
}
TRtcRecord TRtcRecord::FromBytes(const std::uint8_t* b) {
    TRtcRecord r;
    r.Request = b[0];
    r.Time = GetU32(b + 1);
    return r;
}

std::array<std::uint8_t, TBlockNumberRecord::Size> TBlockNumberRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    PutU32(b.data(), BlockNumber);
    return b;
}
TBlockNumberRecord TBlockNumberRecord::FromBytes(const std::uint8_t* b) {
    return TBlockNumberRecord{GetU32(b)};
}

std::array<std::uint8_t, TActiveProfRecord::Size> TActiveProfRecord::ToBytes() const {
    return {Request, ProfileIndex};
}
TActiveProfRecord TActiveProfRecord::FromBytes(const std::uint8_t* b) {
    return TActiveProfRecord{b[0], b[1]};
}

std::array<std::uint8_t, TPwVoltRecord::Size> TPwVoltRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    PutU16(b.data(), Millivolts);
    return b;
}
TPwVoltRecord TPwVoltRecord::FromBytes(const std::uint8_t* b) {
    return TPwVoltRecord{GetU16(b)};
}

std::array<std::uint8_t, TFwVerRecord::Size> TFwVerRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    PutU16(&b[0], Version);
    PutU16(&b[2], Second);
    return b;
}
TFwVerRecord TFwVerRecord::FromBytes(const std::uint8_t* b) {
    return TFwVerRecord{GetU16(b), GetU16(b + 2)};
}

std::array<std::uint8_t, TProdParamRecord::Size> TProdParamRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    b[0] = Request;
    PutU32(&b[1], SerialNumber);
    std::copy(Rest.begin(), Rest.end(), b.begin() + 5);
    return b;
}
TProdParamRecord TProdParamRecord::FromBytes(const std::uint8_t* b) {
    TProdParamRecord r;
    r.Request = b[0];
    r.SerialNumber = GetU32(b + 1);
    std::copy(b + 5, b + 9, r.Rest.begin());
    return r;
}

std::array<std::uint8_t, TFlashParamRecord::Size> TFlashParamRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    b[0] = FlashCount;
    PutU16(&b[1], PagesPerBlock);
    PutU16(&b[3], BlocksPerFlash);
    PutU16(&b[5], PageSize);
    PutU16(&b[7], FirstRecBlock);
    PutU16(&b[9], TransferDivisor);
    return b;
}
TFlashParamRecord TFlashParamRecord::FromBytes(const std::uint8_t* b) {
    TFlashParamRecord r;
    r.FlashCount = b[0];
    r.PagesPerBlock = GetU16(b + 1);
    r.BlocksPerFlash = GetU16(b + 3);
    r.PageSize = GetU16(b + 5);
    r.FirstRecBlock = GetU16(b + 7);
    r.TransferDivisor = GetU16(b + 9);
    return r;
}

std::array<std::uint8_t, TCheckPwRecord::Size> TCheckPwRecord::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    b[0] = Request;
    std::copy(Password.begin(), Password.end(), b.begin() + 1);
    return b;
}
TCheckPwRecord TCheckPwRecord::FromBytes(const std::uint8_t* b) {
    TCheckPwRecord r;
    r.Request = b[0];
    std::copy(b + 1, b + Size, r.Password.begin());
    return r;
}

std::array<std::uint8_t, TSetDefaultRecord::Size> TSetDefaultRecord::ToBytes() const {
    return {Request};
}
TSetDefaultRecord TSetDefaultRecord::FromBytes(const std::uint8_t* b) {
    return TSetDefaultRecord{b[0]};
}

std::int64_t FramedReplySize(std::uint8_t command) {
    switch (command) {
    case CmdRtc:
        return TRtcRecord::Size;
    case CmdEraseBlock:
    case CmdEraseBlockPhy:
        return TBlockNumberRecord::Size;
    case CmdProf:
        return ProfRecordSize;
    case CmdActiveProf:
        return TActiveProfRecord::Size;
    case CmdPwVolt:
        return TPwVoltRecord::Size;
    case CmdFwVer:
        return TFwVerRecord::Size;
    case CmdProdParam:
        return TProdParamRecord::Size;
    case CmdFlashParam:
        return TFlashParamRecord::Size;
    case CmdCheckPw:
        return TCheckPwRecord::Size;
    case CmdSetDefault:
        return TSetDefaultRecord::Size;
    case CmdCloseLink:
        return 0;
    default:
        return -1;
    }
}

// --- the command describer --------------------------------------------------------------------

const char* CommandLogName(std::uint8_t command) {
    switch (command) {
    case CmdRtc:
        return "RTC";
    case CmdFlashRead:
        return "FLASH_READ";
    case CmdFlashWrite:
        return "FLASH_WRITE";
    case CmdEraseBlock:
        return "ERASE_BLOCK";
    case CmdProf:
        return "PROF";
    case CmdActiveProf:
        return "ACTIVE_PROF";
    case CmdPwVolt:
        return "PW_VOLT";
    case CmdFwVer:
        return "FW_VER";
    case CmdProdParam:
        return "PROD_PARAM";
    case CmdFlashParam:
        return "FLASH_PARAM";
    case CmdCheckPw:
        return "CHECK_PW";
    case CmdSetDefault:
        return "SET_DEFAULT";
    case CmdEraseBlockPhy:
        return "ERASE_BLOCK_PHY";
    default:
        return "";
    }
}

namespace {

std::string Field(const char* name, unsigned long long value) {
    return std::string(name) + " = " + std::to_string(value) + "; ";
}

std::string DescribeBefore(std::uint8_t command, const void* record, std::uint32_t size) {
    std::string text = "Command: " + std::to_string(command) + " ";
    const char* name = CommandLogName(command);
    if (*name != '\0')
        text += std::string("(") + name + ") ";
    switch (command) {
    case CmdFlashRead:
        if (record != nullptr && size >= sizeof(TFlashReadRequest)) {
            const auto* r = static_cast<const TFlashReadRequest*>(record);
            text += Field("PageAddr", r->PageAddr) + Field("Offset", r->Offset) +
                    Field("Count", r->Count) + Field("AddrInc", r->AddrInc) +
                    Field("Cycles", r->Cycles);
        }
        break;
    case CmdFlashWrite:
        if (record != nullptr && size >= sizeof(TFlashWriteRequest)) {
            const auto* r = static_cast<const TFlashWriteRequest*>(record);
            text += Field("PageAddr", r->PageAddr) + Field("TotalCount", r->TotalCount) +
                    Field("Cycles", r->Cycles);
        }
        break;
    case CmdEraseBlock:
    case CmdEraseBlockPhy:
        if (record != nullptr && size >= TBlockNumberRecord::Size) {
            const auto r = TBlockNumberRecord::FromBytes(static_cast<const std::uint8_t*>(record));
            text += std::string(command == CmdEraseBlock ? "BlockNumber = " : "PhyBlockNumber = ") +
                    std::to_string(r.BlockNumber);
        }
        break;
    default:
        break;
    }
    return text;
}

std::string DescribeAfter(std::uint8_t command, const void* record, std::uint32_t size) {
    if (command == CmdFlashParam && record != nullptr && size >= TFlashParamRecord::Size) {
        const auto r = TFlashParamRecord::FromBytes(static_cast<const std::uint8_t*>(record));
        return "Result: " + Field("FlashCount", r.FlashCount) + Field("PageSize", r.PageSize) +
               Field("PagesPerBlock", r.PagesPerBlock) + Field("BlocksPerFlash", r.BlocksPerFlash) +
               Field("FirstRecBlock", r.FirstRecBlock);
    }
    return "Result: OK";
}

} // namespace

std::string DescribeCommandText(bool before, std::uint8_t command, const void* record,
                                std::uint32_t size) {
    return before ? DescribeBefore(command, record, size) : DescribeAfter(command, record, size);
}

void DescribeCommand(bool before, std::uint8_t command, const void* record, std::uint32_t size) {
    if (GetDebugLogLevel() == 0)
        return;
    const std::string text = DescribeCommandText(before, command, record, size);
    if (!text.empty())
        WriteDebugLog(text);
}

void LogExchangeFailure(const TERecXchange& error) {
    char line[64];
    std::snprintf(line, sizeof line, "FAILED!!! Cmd: %d; ErrCode: %d", error.Command(),
                  error.ErrorCode());
    WriteDebugLog(line);
}
