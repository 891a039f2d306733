#include <cstring>

#include "audio/Utcrc.h"
#include "audio/Watermark.h"

namespace {

constexpr std::int32_t MarkBlockBytes = 1024; // 512 samples, one record bit each
constexpr std::int32_t TrailerDamaged = -4;
constexpr std::int32_t TailBad = -3;
constexpr std::int32_t LeadingDamaged = -2;
constexpr std::int32_t TrailingDamaged = -1;

using TReader = std::function<std::int32_t(void*, std::int32_t)>;

bool ReadExactly(const TReader& read, void* buffer, std::int32_t count) {
    return read(buffer, count) == count;
}

bool ReadFramingRecord(const TReader& read) {
    std::uint8_t scrambled[TMarkRecord::Size];
    return ReadExactly(read, scrambled, TMarkRecord::Size) &&
           MarkRecordCrcIsValid(UnscrambleMarkRecord(scrambled));
}

bool ReadEmbeddedRecord(const TReader& read) {
    std::uint8_t samples[MarkBlockBytes];
    if (!ReadExactly(read, samples, MarkBlockBytes))
        return false;
    std::uint8_t scrambled[TMarkRecord::Size] = {};
    for (int i = 0; i < MarkBlockBytes / 2; ++i)
        scrambled[i / 8] |= static_cast<std::uint8_t>((samples[2 * i] & 1u) << (7 - i % 8));
    return MarkRecordCrcIsValid(UnscrambleMarkRecord(scrambled));
}

bool ReadCleanTail(const TReader& read, std::uint32_t rest) {
    if (rest > static_cast<std::uint32_t>(MarkBlockBytes))
        return false;
    std::uint8_t tail[MarkBlockBytes];
    if (!ReadExactly(read, tail, static_cast<std::int32_t>(rest)))
        return false;
    for (std::uint32_t i = 0; i + 1 < rest; i += 2)
        if (tail[i] & 1u)
            return false;
    return true;
}

} // namespace

std::int32_t MarkCheck(const TReader& read, const std::uint8_t* trailer64,
                       std::uint8_t* plainTrailer64) {
    if (trailer64 == nullptr || !read)
        return TrailerDamaged;
    const TMarkBytes trailer = UnscrambleMarkRecord(trailer64);
    if (!MarkRecordCrcIsValid(trailer))
        return TrailerDamaged;
    if (plainTrailer64 != nullptr)
        std::memcpy(plainTrailer64, trailer.data(), trailer.size());

    const std::uint32_t total = DecodeMarkRecord(trailer).ByteCounter;
    std::uint32_t blocks = total / MarkBlockBytes;
    if (total != 0 && total % MarkBlockBytes == 0)
        --blocks; // the last full block is the tail
    // A reader that gives more than it was asked for is treated as a short one.
    const TReader bounded = [&read](void* buffer, std::int32_t count) {
        const std::int32_t got = read(buffer, count);
        return got > count ? -1 : got;
    };

    if (!ReadFramingRecord(bounded))
        return LeadingDamaged;
    for (std::uint32_t block = 1; block <= blocks; ++block)
        if (!ReadEmbeddedRecord(bounded))
            return static_cast<std::int32_t>(block);
    if (!ReadCleanTail(bounded, total - blocks * MarkBlockBytes))
        return TailBad;
    return ReadFramingRecord(bounded) ? 0 : TrailingDamaged;
}

extern "C" std::int32_t mrk_Check(TMarkReadFunction read, const std::uint8_t* trailer64,
                                  std::uint8_t* plainTrailer64) {
    if (read == nullptr)
        return TrailerDamaged;
    return MarkCheck(TReader(read), trailer64, plainTrailer64);
}
