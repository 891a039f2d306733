#include "FixtureDevice.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fixture {

namespace {

TFakeDevice* Current = nullptr;

void DeviceExchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                    std::uint32_t inSize, std::uint32_t) {
    if (Current == nullptr)
        throw TERecXchange("Adapter not connected", command, 255);
    Current->Exchange(command, out, outSize, in, inSize);
}

bool DeviceProbe() {
    return Current != nullptr && Current->Reachable;
}

void Expect(bool ok, std::uint8_t command) {
    if (!ok)
        throw TERecXchange("Invalid In Data Size", command, 8);
}

} // namespace

TFakeDevice::TFakeDevice(TFlashShape shape) : Flash(shape) {
    SetFlashParams(*this, 1, shape.PagesPerBlock, static_cast<std::uint16_t>(shape.Blocks),
                   shape.PageSize, shape.FirstRecBlock, 1);
    for (std::size_t i = 0; i < Profiles.size(); ++i) {
        Profiles[i].assign(37, 0);
        Profiles[i][10] = 3;
    }
    Password.fill(0xFF);
    Current = this;
}

TFakeDevice::~TFakeDevice() {
    if (Current == this)
        Current = nullptr;
}

TTransport TFakeDevice::Transport() {
    return {DeviceExchange, DeviceProbe};
}

void SetFlashParams(TFakeDevice& d, std::uint8_t flashCount, std::uint16_t pagesPerBlock,
                    std::uint16_t blocksPerFlash, std::uint16_t pageSize,
                    std::uint16_t firstRecBlock, std::uint16_t divisor) {
    d.FlashParams[0] = flashCount;
    Put16(&d.FlashParams[1], pagesPerBlock);
    Put16(&d.FlashParams[3], blocksPerFlash);
    Put16(&d.FlashParams[5], pageSize);
    Put16(&d.FlashParams[7], firstRecBlock);
    Put16(&d.FlashParams[9], divisor);
}

void TFakeDevice::FailCommand(std::uint8_t command, int nth, int errorCode) {
    Failures.push_back({command, nth, errorCode});
}

int TFakeDevice::CountOf(std::uint8_t command) const {
    return static_cast<int>(
        std::count_if(Sent.begin(), Sent.end(),
                      [command](const TSentCommand& s) { return s.Command == command; }));
}

void TFakeDevice::ClearLog() {
    Sent.clear();
    Reads.clear();
}

void TFakeDevice::Exchange(std::uint8_t command, const void* outRaw, std::uint32_t outSize,
                           void* inRaw, std::uint32_t inSize) {
    const auto* out = static_cast<const std::uint8_t*>(outRaw);
    auto* in = static_cast<std::uint8_t*>(inRaw);
    TSentCommand sent{command, {}};
    if (command != CmdFlashRead && command != CmdFlashWrite && out != nullptr)
        sent.Out.assign(out, out + outSize);
    Sent.push_back(sent);
    for (TFailure& f : Failures)
        if (f.Command == command && f.Remaining > 0 && --f.Remaining == 0)
            throw TERecXchange("Exchange error", command, f.Code);
    if (BeforeCommand)
        BeforeCommand(command);

    auto reply = [&](const std::uint8_t* bytes, std::uint32_t size) {
        Expect(in == nullptr || inSize == size, command);
        if (in != nullptr)
            std::memcpy(in, bytes, size);
    };
    switch (command) {
    case CmdRtc: {
        Expect(outSize == 5, command);
        if (out[0] == 0xFF)
            Clock = Get32(out + 1);
        std::uint8_t r[5] = {0};
        Put32(r + 1, Clock);
        return reply(r, 5);
    }
    case CmdFlashRead: {
        Expect(outSize == sizeof(TFlashReadRequest), command);
        TFlashReadRequest r;
        std::memcpy(&r, out, sizeof r);
        Reads.push_back({r.PageAddr, r.Cycles, r.Count, r.Offset, r.AddrInc});
        // One request moves at most one transfer of bytes.
        const unsigned divisor = Get16(&FlashParams[9]);
        const std::uint64_t transfer = std::uint64_t{Get16(&FlashParams[5])} *
                                       (Get16(&FlashParams[1]) / (divisor ? divisor : 1));
        if (std::uint64_t{r.Cycles} * r.Count > transfer)
            throw TERecXchange("Invalid Out Data Size", command, 7);
        for (std::uint32_t i = 0; i < r.Cycles; ++i) {
            const std::uint32_t page = r.PageAddr + i * r.AddrInc;
            if (r.Offset + r.Count > Flash.Shape().PageSize)
                throw TERecXchange("Exchange error", command, 8);
            std::memcpy(r.HostBuffer + std::size_t{i} * r.Count, Flash.PageAt(page) + r.Offset,
                        r.Count);
        }
        return;
    }
    case CmdFlashWrite: {
        TFlashWriteRequest r;
        std::memcpy(&r, out, sizeof r);
        std::memcpy(Flash.PageAt(r.PageAddr), r.Data, r.TotalCount);
        return;
    }
    case CmdEraseBlock: {
        const std::uint32_t block = Get32(out);
        std::memset(Flash.Page(block, 0), 0xFF, Flash.BlockSize());
        return reply(out, 4);
    }
    case CmdProf: {
        Expect(outSize == 37, command);
        const std::uint8_t number = out[1];
        if (number < 1 || number > 8)
            throw TERecXchange("Exchange error", command, 2);
        Bytes& stored = Profiles[number - 1];
        if (out[0] == 0xFF)
            stored.assign(out, out + 37);
        Bytes answer = stored;
        answer[0] = out[0];
        answer[1] = number;
        return reply(answer.data(), 37);
    }
    case CmdActiveProf: {
        Expect(outSize == 2, command);
        if (out[0] == 0xFF)
            ActiveProfile = out[1];
        const std::uint8_t r[2] = {0, ActiveProfile};
        return reply(r, 2);
    }
    case CmdPwVolt: {
        std::uint8_t r[2];
        Put16(r, Millivolts);
        return reply(r, 2);
    }
    case CmdFwVer: {
        std::uint8_t r[4] = {};
        Put16(r, FirmwareVersion);
        return reply(r, 4);
    }
    case CmdProdParam: {
        std::uint8_t r[9] = {};
        Put32(r + 1, SerialNumber);
        return reply(r, 9);
    }
    case CmdFlashParam:
        return reply(FlashParams.data(), 11);
    case CmdCheckPw: {
        Expect(outSize == 21, command);
        std::uint8_t r[21] = {};
        if (out[0] == 0xFF) {
            std::memcpy(Password.data(), out + 1, 20);
            std::memcpy(r, out, 21);
        } else if (std::memcmp(Password.data(), out + 1, 20) == 0) {
            std::memcpy(r, out, 21);
        }
        return reply(r, 21);
    }
    case CmdSetDefault:
    case CmdCloseLink:
        if (in != nullptr)
            std::memset(in, 0, inSize);
        return;
    default:
        throw TERecXchange("Exchange error", command, 2);
    }
}

} // namespace fixture
