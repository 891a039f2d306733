// libnorvel: the rate, then blocks of audio of the sizes the input gives, with resets and
// status reads between them.
#include <cstdint>
#include <cstring>
#include <vector>

#include "callerid/Norvel.h"

namespace {

// Reads the input front to back; past its end every read gives zeros.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
    bool Empty() const { return At >= Size; }
    std::uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    std::int32_t Int() { return static_cast<std::int32_t>(Word() | (std::uint32_t{Word()} << 16)); }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInput input(data, size);
    // Mostly the rates a recording has; any 32-bit value now and then.
    static const std::int32_t Rates[] = {8000, 16000, 4000, 13333, 20000, 40000, 11025, 44100};
    const std::uint8_t rateChoice = input.Byte();
    _lnResetConnect(rateChoice < 240 ? Rates[rateChoice % 8] : input.Int());
    std::vector<std::int16_t> samples;
    TCallerIdStatus status;
    while (!input.Empty()) {
        const std::uint8_t op = input.Byte();
        if (op == 0xFF) {
            _lnResetConnect(Rates[input.Byte() % 8]);
        } else if (op == 0xFE) {
            _lnGetStatus(&status);
        } else {
            // A block of up to 4096 samples, sometimes stretched to the decoder's largest count
            // by repeating what the input gave.
            const std::size_t count =
                op == 0xFD ? 65535 : (std::size_t{op} << 4) + input.Byte() % 16;
            samples.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                samples[i] = input.Empty() && i > 0 ? samples[i % (i > 64 ? 64 : i)]
                                                    : static_cast<std::int16_t>(input.Word());
            _lnCalcConnect(static_cast<std::uint16_t>(count), samples.data());
        }
    }
    _lnGetStatus(&status);
    return 0;
}
