#pragma once

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/FtdiApi.h"
#include "platform/SpiWiring.h"

// A fake FTDI chip behind the libftdi call table. It records the calls, decodes the MPSSE
// commands written to it as the chip would (pins, shifts, clock settings) and answers the
// reads. Written from the MPSSE command set, not from the backend.
class FakeFtdi {
public:
    // One shift command: what went out or came in, and under which chip select.
    struct TShift {
        std::uint8_t Opcode = 0;
        bool Read = false;
        std::uint32_t Bits = 0;
        std::vector<std::uint8_t> Bytes; // written bytes; for reads, what was returned
        bool ChipSelected = false;
    };

    std::vector<TFtdiUsbDevice> Devices;
    std::vector<std::string> Calls;
    std::vector<std::uint8_t> Written; // every byte of every WriteData
    std::vector<TShift> Shifts;
    std::vector<std::uint8_t> UnknownOpcodes;
    std::uint16_t Divisor = 0xFFFF;
    bool DivideByFive = true; // the chip's state after reset
    std::uint8_t LowPins = 0, LowDirections = 0;
    std::uint8_t Latency = 16;

    bool AnswerSync = true;    // echo 0xFA and the bad opcode
    int MaxReadChunk = 4096;   // bytes one ReadData returns at most
    int EmptyReadsEach = 1;    // empty ReadData calls before each one with data
    bool NeverAnswer = false;  // reads return nothing at all
    int FailOpen = 0;          // OpenDevice result when non-zero
    std::uint64_t ClockMs = 0; // advanced 1 ms by every ReadData

    // Bytes a read shift clocks in; zeros by default.
    std::function<std::vector<std::uint8_t>(std::size_t)> Miso;
    // Called when chip select is released, with the write shifts of that cycle.
    std::function<void(const std::vector<TShift>&)> OnChipSelectCycle;

    int OpenContexts = 0;

    TFtdiApi Api() {
        TFtdiApi api;
        api.NewContext = [this] {
            ++OpenContexts;
            Calls.push_back("NewContext");
            return static_cast<TFtdiContext>(this);
        };
        api.FreeContext = [this](TFtdiContext) {
            --OpenContexts;
            Calls.push_back("FreeContext");
        };
        api.ListDevices = [this](TFtdiContext, const std::vector<std::uint16_t>& products,
                                 std::vector<TFtdiUsbDevice>& out) {
            Calls.push_back("ListDevices");
            out.clear();
            for (const auto& d : Devices)
                for (std::uint16_t p : products)
                    if (d.ProductId == p)
                        out.push_back(d);
            return static_cast<int>(out.size());
        };
        api.OpenDevice = [this](TFtdiContext, std::uint8_t bus, std::uint8_t address, int channel) {
            Calls.push_back("OpenDevice " + std::to_string(bus) + " " + std::to_string(address) +
                            " " + std::to_string(channel));
            return FailOpen;
        };
        api.CloseDevice = [this](TFtdiContext) {
            Calls.push_back("CloseDevice");
            return 0;
        };
        api.ResetDevice = [this](TFtdiContext) {
            Calls.push_back("ResetDevice");
            DivideByFive = true;
            Pending.clear();
            return 0;
        };
        api.PurgeBuffers = [this](TFtdiContext) {
            Calls.push_back("PurgeBuffers");
            Pending.clear();
            return 0;
        };
        api.SetLatencyTimer = [this](TFtdiContext, std::uint8_t ms) {
            Calls.push_back("SetLatencyTimer " + std::to_string(ms));
            Latency = ms;
            return 0;
        };
        api.GetLatencyTimer = [this](TFtdiContext, std::uint8_t& ms) {
            Calls.push_back("GetLatencyTimer");
            ms = Latency;
            return 0;
        };
        api.SetBitMode = [this](TFtdiContext, std::uint8_t mask, std::uint8_t mode) {
            Calls.push_back("SetBitMode " + std::to_string(mask) + " " + std::to_string(mode));
            return 0;
        };
        api.SetChunkSize = [this](TFtdiContext, std::uint32_t bytes) {
            Calls.push_back("SetChunkSize " + std::to_string(bytes));
            return 0;
        };
        api.WriteData = [this](TFtdiContext, const std::uint8_t* data, int size) {
            Written.insert(Written.end(), data, data + size);
            Decode(data, static_cast<std::size_t>(size));
            return size;
        };
        api.ReadData = [this](TFtdiContext, std::uint8_t* data, int size) {
            ++ClockMs;
            if (NeverAnswer || Pending.empty())
                return 0;
            if (EmptyCountdown > 0) {
                --EmptyCountdown;
                return 0;
            }
            EmptyCountdown = EmptyReadsEach;
            const int n = std::min({size, MaxReadChunk, static_cast<int>(Pending.size())});
            for (int i = 0; i < n; ++i) {
                data[i] = Pending.front();
                Pending.pop_front();
            }
            return n;
        };
        api.ErrorString = [](TFtdiContext) { return std::string("fake"); };
        api.LibraryVersion = [] { return std::string("fake ftdi 0.1"); };
        return api;
    }

    bool ChipSelected() const {
        const bool low = (LowPins & SpiPinChipSelect) == 0;
        return SpiChipSelectActiveLow ? low : !low;
    }
    std::size_t PendingBytes() const { return Pending.size(); }

private:
    void Queue(const std::vector<std::uint8_t>& bytes) {
        Pending.insert(Pending.end(), bytes.begin(), bytes.end());
    }

    void SetLowPins(std::uint8_t value, std::uint8_t directions) {
        const bool wasSelected = ChipSelected();
        LowPins = value;
        LowDirections = directions;
        if (wasSelected && !ChipSelected() && OnChipSelectCycle) {
            std::vector<TShift> writes;
            for (std::size_t i = CycleStart; i < Shifts.size(); ++i)
                if (!Shifts[i].Read)
                    writes.push_back(Shifts[i]);
            OnChipSelectCycle(writes);
        }
        if (!wasSelected && ChipSelected())
            CycleStart = Shifts.size();
    }

    // MPSSE shift opcodes have bit 7 clear and bit 4 (write) or 5 (read) set.
    void Decode(const std::uint8_t* p, std::size_t n) {
        std::size_t i = 0;
        auto need = [&](std::size_t k) {
            EXPECT_LE(i + k, n) << "command cut at the end of a write";
            return i + k <= n;
        };
        while (i < n) {
            const std::uint8_t op = p[i++];
            if ((op & 0x80) == 0 && (op & 0x30) != 0 && (op & 0x40) == 0) {
                TShift shift;
                shift.Opcode = op;
                shift.Read = (op & 0x20) != 0;
                shift.ChipSelected = ChipSelected();
                const bool bits = (op & 0x02) != 0;
                std::uint32_t count = 0;
                if (bits) {
                    if (!need(1))
                        return;
                    count = p[i++] + 1u;
                    shift.Bits = count;
                } else {
                    if (!need(2))
                        return;
                    count = (p[i] | (p[i + 1] << 8)) + 1u;
                    i += 2;
                    shift.Bits = count * 8;
                }
                const std::size_t bytes = bits ? 1 : count;
                if (op & 0x10) { // write data follows
                    if (!need(bytes))
                        return;
                    shift.Bytes.assign(p + i, p + i + bytes);
                    i += bytes;
                }
                if (shift.Read) {
                    std::vector<std::uint8_t> in =
                        Miso ? Miso(bytes) : std::vector<std::uint8_t>(bytes, 0);
                    in.resize(bytes, 0);
                    Queue(in);
                    if (!(op & 0x10))
                        shift.Bytes = in;
                }
                Shifts.push_back(shift);
                continue;
            }
            switch (op) {
            case 0x80:
            case 0x82:
                if (!need(2))
                    return;
                if (op == 0x80)
                    SetLowPins(p[i], p[i + 1]);
                i += 2;
                break;
            case 0x86:
                if (!need(2))
                    return;
                Divisor = static_cast<std::uint16_t>(p[i] | (p[i + 1] << 8));
                i += 2;
                break;
            case 0x8A:
                DivideByFive = false;
                break;
            case 0x8B:
                DivideByFive = true;
                break;
            case 0x85:
            case 0x87:
            case 0x8D:
            case 0x97:
                break;
            default:
                UnknownOpcodes.push_back(op);
                if (AnswerSync)
                    Queue({0xFA, op});
                break;
            }
        }
    }

    std::deque<std::uint8_t> Pending;
    std::size_t CycleStart = 0;
    int EmptyCountdown = 0;
};
