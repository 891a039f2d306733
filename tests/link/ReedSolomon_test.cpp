#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <vector>

#include "link/ReedSolomon.h"

extern "C" {
#include <fec.h>
}

namespace {

using TData = std::vector<std::uint8_t>;

// Exactly sized heap buffers, so that AddressSanitizer sees any access past their ends.
TData MakeData(std::mt19937& rng) {
    TData data(RsDataSize);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    return data;
}

TData Encode(const TData& data) {
    TData codeword(RsCodewordSize);
    RsEncodeBlock(std::span<const std::uint8_t, RsDataSize>(data.data(), RsDataSize),
                  std::span<std::uint8_t, RsCodewordSize>(codeword.data(), RsCodewordSize));
    return codeword;
}

struct TDecoded {
    int Status;
    TData Data;
};

TDecoded Decode(const TData& codeword) {
    TDecoded out{0, TData(RsDataSize)};
    out.Status = RsDecodeBlock(
        std::span<const std::uint8_t, RsCodewordSize>(codeword.data(), RsCodewordSize),
        std::span<std::uint8_t, RsDataSize>(out.Data.data(), RsDataSize));
    return out;
}

TData StoredData(const TData& codeword) {
    TData data(RsDataSize);
    for (std::size_t i = 0; i < RsDataSize; ++i)
        data[i] = codeword[254 - i];
    return data;
}

// Flips `count` distinct bytes to other values.
TData Corrupt(TData codeword, int count, std::mt19937& rng) {
    std::set<std::size_t> positions;
    while (static_cast<int>(positions.size()) < count)
        positions.insert(rng() % RsCodewordSize);
    for (std::size_t p : positions)
        codeword[p] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    return codeword;
}

// libfec's RS(255, 249) with the same field, first root alpha^1 and primitive element 2. Its
// block holds the highest coefficient first: byte k of our codeword is byte 254 - k there.
class TLibFec {
public:
    TLibFec() : Rs(init_rs_char(8, 0x11D, 1, 1, 6, 0)) {}
    ~TLibFec() { free_rs_char(Rs); }
    TLibFec(const TLibFec&) = delete;
    TLibFec& operator=(const TLibFec&) = delete;

    bool Ready() const { return Rs != nullptr; }

    TData Encode(const TData& data) {
        unsigned char block[RsCodewordSize];
        std::copy(data.begin(), data.end(), block);
        encode_rs_char(Rs, block, block + RsDataSize);
        return Flip(block);
    }
    // Returns libfec's count (-1: uncorrectable) and its corrected codeword in our order.
    int Decode(TData& codeword) {
        unsigned char block[RsCodewordSize];
        for (std::size_t k = 0; k < RsCodewordSize; ++k)
            block[254 - k] = codeword[k];
        const int count = decode_rs_char(Rs, block, nullptr, 0);
        codeword = Flip(block);
        return count;
    }

private:
    static TData Flip(const unsigned char* block) {
        TData codeword(RsCodewordSize);
        for (std::size_t k = 0; k < RsCodewordSize; ++k)
            codeword[k] = block[254 - k];
        return codeword;
    }
    void* Rs;
};

// Carry-less multiplication reduced by the field polynomial, bit by bit.
std::uint8_t SlowMul(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (b & (1u << bit))
            product ^= static_cast<unsigned>(a) << bit;
    for (int bit = 15; bit >= 8; --bit)
        if (product & (1u << bit))
            product ^= 0x11Du << (bit - 8);
    return static_cast<std::uint8_t>(product);
}

TEST(GaloisField, TablesAndMultiplication) {
    EXPECT_EQ(GfExp[0], 1);
    EXPECT_EQ(GfExp[255], 1);
    EXPECT_EQ(GfLog[0], 255);
    std::set<int> seen;
    for (int i = 0; i < 255; ++i) {
        seen.insert(GfExp[i]);
        EXPECT_EQ(GfLog[GfExp[i]], i);
        EXPECT_EQ(GfExp[i + 1], SlowMul(GfExp[i], 2)) << i;
    }
    EXPECT_EQ(seen.size(), 255u); // alpha = 2 is primitive
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            ASSERT_EQ(GfMul(a, b), SlowMul(a, b)) << a << " * " << b;
}

TEST(GaloisField, InversesAndPowers) {
    EXPECT_EQ(GfInv(0), 0);
    for (int a = 1; a < 256; ++a) {
        EXPECT_EQ(GfMul(a, GfInv(a)), 1) << a;
        EXPECT_EQ(GfPow(a, 0), 1) << a;
        EXPECT_EQ(GfPow(a, 255), 1) << a;
        std::uint8_t power = 1;
        for (std::uint32_t n = 1; n < 20; ++n) {
            power = SlowMul(power, a);
            EXPECT_EQ(GfPow(a, n), power) << a << "^" << n;
        }
        EXPECT_EQ(GfPow(a, 0xFFFFFFFFu), GfPow(a, 0xFFFFFFFFu % 255)) << a;
    }
    for (std::uint32_t n : {0u, 1u, 7u, 1000u})
        EXPECT_EQ(GfPow(0, n), 0);
}

TEST(ReedSolomonCode, GeneratorHasRootsAlpha1To6) {
    const std::array<std::uint8_t, 6> listed = {117, 49, 58, 158, 4, 126};
    EXPECT_EQ(RsGenerator, listed);
    for (int r = 0; r < 8; ++r) {
        const std::uint8_t x = GfExp[r];
        std::uint8_t value = 1; // the monic x^6 term, Horner from the top
        for (int k = 5; k >= 0; --k)
            value = static_cast<std::uint8_t>(SlowMul(value, x) ^ RsGenerator[k]);
        if (r >= 1 && r <= 6)
            EXPECT_EQ(value, 0) << "alpha^" << r;
        else
            EXPECT_NE(value, 0) << "alpha^" << r;
    }
}

TEST(ReedSolomonCode, EncoderMatchesLibfec) {
    TLibFec fec;
    ASSERT_TRUE(fec.Ready());
    EXPECT_EQ(Encode(TData(RsDataSize, 0)), TData(RsCodewordSize, 0));
    std::mt19937 rng(1);
    for (int word = 0; word < 300; ++word) {
        const TData data = MakeData(rng);
        const TData codeword = Encode(data);
        ASSERT_EQ(codeword, fec.Encode(data)) << word;
        ASSERT_EQ(StoredData(codeword), data);
        const auto s = RsSyndromes(std::span<const std::uint8_t, 255>(codeword.data(), 255));
        EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](auto v) { return v == 0; }));
        const TDecoded back = Decode(codeword);
        EXPECT_EQ(back.Status, 0);
        EXPECT_EQ(back.Data, data);
    }
}

TEST(ReedSolomonCode, CorrectsChosenPatterns) {
    struct TCase {
        const char* Name;
        std::vector<std::size_t> Positions;
    };
    const TCase cases[] = {
        {"one parity byte", {0}},          {"last parity byte", {5}},
        {"first data position", {6}},      {"last data position", {254}},
        {"both ends", {0, 254}},           {"neighbours", {100, 101}},
        {"parity only, three", {0, 3, 5}}, {"parity and data", {5, 6, 254}},
        {"spread", {17, 128, 233}},
    };
    std::mt19937 rng(2);
    const TData data = MakeData(rng);
    const TData codeword = Encode(data);
    for (const auto& c : cases)
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            TData received = codeword;
            for (std::size_t p : c.Positions)
                received[p] ^= flip;
            const TDecoded out = Decode(received);
            EXPECT_EQ(out.Status, static_cast<int>(c.Positions.size())) << c.Name;
            EXPECT_EQ(out.Data, data) << c.Name;
        }
}

TEST(ReedSolomonCode, CorrectsEveryPairOfPositions) {
    std::mt19937 rng(3);
    const TData data = MakeData(rng);
    const TData codeword = Encode(data);
    for (std::size_t a = 0; a < RsCodewordSize; ++a)
        for (std::size_t b = a + 1; b < RsCodewordSize; ++b) {
            TData received = codeword;
            received[a] ^= static_cast<std::uint8_t>(1 + (a * 31 + b) % 255);
            received[b] ^= static_cast<std::uint8_t>(1 + (b * 17 + a) % 255);
            const TDecoded out = Decode(received);
            ASSERT_EQ(out.Status, 2) << a << ", " << b;
            ASSERT_EQ(out.Data, data) << a << ", " << b;
        }
}

TEST(ReedSolomonCode, UpToThreeErrorsAgreeWithLibfec) {
    TLibFec fec;
    ASSERT_TRUE(fec.Ready());
    std::mt19937 rng(4);
    for (int word = 0; word < 4000; ++word) {
        const int errors = word % 4;
        const TData data = MakeData(rng);
        const TData codeword = Encode(data);
        const TData received = Corrupt(codeword, errors, rng);

        TData theirs = received;
        ASSERT_EQ(fec.Decode(theirs), errors) << word;
        ASSERT_EQ(theirs, codeword);

        const TDecoded ours = Decode(received);
        ASSERT_EQ(ours.Status, errors) << word;
        ASSERT_EQ(ours.Data, data) << word;
    }
}

TEST(ReedSolomonCode, BeyondThreeErrorsNeverMiscorrectsWhereLibfecRefuses) {
    TLibFec fec;
    ASSERT_TRUE(fec.Ready());
    std::mt19937 rng(5);
    int refused = 0;
    int decodedElsewhere = 0;
    for (int word = 0; word < 6000; ++word) {
        const int errors = 4 + word % 12;
        const TData codeword = Encode(MakeData(rng));
        const TData received = Corrupt(codeword, errors, rng);

        TData theirs = received;
        const int count = fec.Decode(theirs);
        const TDecoded ours = Decode(received);
        if (count < 0) {
            ++refused;
            ASSERT_EQ(ours.Status, RsUncorrectable) << word;
            ASSERT_EQ(ours.Data, StoredData(received)) << word;
        } else {
            // The word lies within three bytes of another codeword; both find the same one.
            ++decodedElsewhere;
            ASSERT_EQ(ours.Status, count) << word;
            ASSERT_EQ(ours.Data, StoredData(theirs)) << word;
        }
    }
    // About one random word in six lies within three bytes of some other codeword: both
    // branches must have been taken many times.
    EXPECT_GT(refused, 4500);
    EXPECT_GT(decodedElsewhere, 500);
}

TEST(ReedSolomonCode, DecodesToTheNearestCodeword) {
    // b = a + x^100 g(x) differs from a in the seven bytes 100..106. A word that takes four of
    // them from b is four bytes from a but three from b, so it decodes as b.
    std::mt19937 rng(6);
    const TData a = Encode(MakeData(rng));
    TData b = a;
    const std::size_t shift = 100;
    for (std::size_t k = 0; k < 6; ++k)
        b[shift + k] ^= RsGenerator[k];
    b[shift + 6] ^= 1;
    TData received = a;
    for (std::size_t k = 0; k < 4; ++k)
        received[shift + k] = b[shift + k];
    const TDecoded out = Decode(received);
    EXPECT_EQ(out.Status, 3);
    EXPECT_EQ(out.Data, StoredData(b));
    // One more wrong byte makes it four from b as well. Unless yet another codeword lies within
    // three bytes of it, it is beyond repair; libfec tells which extra bytes do that.
    TLibFec fec;
    int refusedByLibfec = 0;
    for (std::size_t extra = 150; extra < RsCodewordSize; ++extra) {
        TData worse = received;
        worse[extra] ^= 0x33;
        TData theirs = worse;
        const int count = fec.Decode(theirs);
        const TDecoded ours = Decode(worse);
        if (count < 0) {
            ++refusedByLibfec;
            EXPECT_EQ(ours.Status, RsUncorrectable) << extra;
            EXPECT_EQ(ours.Data, StoredData(worse)) << extra;
        } else {
            EXPECT_EQ(ours.Data, StoredData(theirs)) << extra;
        }
    }
    EXPECT_GT(refusedByLibfec, 50);
}

TEST(ReedSolomonPage, SlotsOfOnePage) {
    const std::size_t pageSize = 2112;
    const std::size_t slots = pageSize / RsSlotSize;
    ASSERT_EQ(RsSlotCount(slots * RsDataSize, pageSize), 8u);
    EXPECT_EQ(RsSlotCount(slots * RsDataSize - 1, pageSize), 7u);
    EXPECT_EQ(RsSlotCount(10 * RsDataSize, 255), 0u);

    std::mt19937 rng(7);
    TData data(slots * RsDataSize);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    TData page(pageSize, 0xFF);
    RsEncodePage(data, page);
    for (std::size_t k = 0; k < slots; ++k) {
        EXPECT_EQ(page[k * RsSlotSize + 255], 0xFF) << k;
        const TData slot(page.begin() + k * RsSlotSize, page.begin() + k * RsSlotSize + 255);
        EXPECT_EQ(StoredData(slot),
                  TData(data.begin() + k * RsDataSize, data.begin() + (k + 1) * RsDataSize));
    }
    EXPECT_TRUE(std::all_of(page.begin() + slots * RsSlotSize, page.end(),
                            [](auto v) { return v == 0xFF; }));

    struct TCase {
        const char* Name;
        std::vector<std::size_t> PageBytes;
        int Status;
    };
    const TCase cases[] = {
        {"clean", {}, 0},
        {"slot bytes 255 are not part of a codeword", {255, 511, 2047}, 0},
        {"bytes after the last slot", {2048, 2111}, 0},
        {"one error in slot 0, three in slot 7", {3, 7 * 256, 7 * 256 + 100, 7 * 256 + 254}, 3},
        {"two in slot 4", {4 * 256 + 10, 4 * 256 + 11}, 2},
        {"four in slot 2", {512, 513, 514, 515}, RsUncorrectable},
    };
    for (const auto& c : cases) {
        TData damaged = page;
        for (std::size_t p : c.PageBytes)
            damaged[p] ^= 0x5A;
        TData out(data.size());
        EXPECT_EQ(RsDecodePage(damaged, out), c.Status) << c.Name;
        for (std::size_t k = 0; k < slots; ++k) {
            if (c.Status == RsUncorrectable && k == 2)
                continue;
            EXPECT_TRUE(std::equal(out.begin() + k * RsDataSize, out.begin() + (k + 1) * RsDataSize,
                                   data.begin() + k * RsDataSize))
                << c.Name << " slot " << k;
        }
    }
}

} // namespace
