#include "link/ReedSolomon.h"

#include <algorithm>

namespace {

constexpr unsigned FieldPolynomial = 0x11D;

constexpr std::array<std::uint8_t, 256> MakeGfExp() {
    std::array<std::uint8_t, 256> table{};
    unsigned x = 1;
    for (std::size_t i = 0; i < 255; ++i) {
        table[i] = static_cast<std::uint8_t>(x);
        x <<= 1;
        if (x & 0x100)
            x ^= FieldPolynomial;
    }
    table[255] = 1;
    return table;
}

constexpr std::array<std::uint8_t, 256> MakeGfLog(const std::array<std::uint8_t, 256>& exp) {
    std::array<std::uint8_t, 256> table{};
    table[0] = 255;
    for (std::size_t i = 0; i < 255; ++i)
        table[exp[i]] = static_cast<std::uint8_t>(i);
    return table;
}

constexpr auto ExpTable = MakeGfExp();
constexpr auto LogTable = MakeGfLog(ExpTable);

// alpha^i for i = 0..509, so that a sum of two logarithms needs no reduction.
constexpr std::array<std::uint8_t, 510> MakeWideExp() {
    std::array<std::uint8_t, 510> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = ExpTable[i % 255];
    return table;
}
constexpr auto WideExp = MakeWideExp();

constexpr std::uint8_t Mul(std::uint8_t a, std::uint8_t b) {
    if (a == 0 || b == 0)
        return 0;
    return WideExp[LogTable[a] + LogTable[b]];
}

constexpr std::uint8_t Div(std::uint8_t a, std::uint8_t b) {
    if (a == 0)
        return 0;
    return ExpTable[(LogTable[a] + 255 - LogTable[b]) % 255];
}

// alpha^n for any n.
constexpr std::uint8_t AlphaPow(unsigned n) {
    return ExpTable[n % 255];
}

// Coefficients of x^0..x^6 of the product of (x - alpha^r), r = 1..6; the x^6 one is 1.
constexpr std::array<std::uint8_t, RsParitySize> MakeGenerator() {
    std::array<std::uint8_t, RsParitySize + 1> g{};
    g[0] = 1;
    for (unsigned r = 1; r <= RsParitySize; ++r) {
        const std::uint8_t root = AlphaPow(r);
        for (std::size_t k = r; k > 0; --k)
            g[k] = static_cast<std::uint8_t>(g[k - 1] ^ Mul(g[k], root));
        g[0] = Mul(g[0], root);
    }
    std::array<std::uint8_t, RsParitySize> low{};
    std::copy(g.begin(), g.begin() + RsParitySize, low.begin());
    return low;
}

static_assert(ExpTable[8] == 0x1D && ExpTable[254] == 0x8E && LogTable[2] == 1);

// Polynomials of the decoder, coefficient of x^i at index i; the degree never exceeds the
// number of syndromes.
using TPoly = std::array<std::uint8_t, RsParitySize + 1>;

// Horner over the coefficients of x^0..x^degree.
std::uint8_t Evaluate(const TPoly& poly, std::uint8_t x, std::size_t degree = RsParitySize) {
    std::uint8_t value = 0;
    for (std::size_t i = degree + 1; i > 0; --i)
        value = static_cast<std::uint8_t>(Mul(value, x) ^ poly[i - 1]);
    return value;
}

// Berlekamp-Massey: the shortest error locator Lambda that generates the syndromes. Returns its
// length L (the number of errors it claims; the degree of Lambda may be lower when the word is
// beyond repair).
int ErrorLocator(const std::array<std::uint8_t, RsParitySize>& s, TPoly& lambda) {
    TPoly previous{};
    lambda = {};
    lambda[0] = previous[0] = 1;
    int length = 0;
    std::size_t gap = 1;
    std::uint8_t previousDiscrepancy = 1;
    for (std::size_t n = 0; n < RsParitySize; ++n) {
        std::uint8_t discrepancy = s[n];
        for (int i = 1; i <= length; ++i)
            discrepancy ^= Mul(lambda[i], s[n - i]);
        if (discrepancy == 0) {
            ++gap;
            continue;
        }
        const std::uint8_t factor = Div(discrepancy, previousDiscrepancy);
        const TPoly before = lambda;
        for (std::size_t i = 0; i + gap < lambda.size(); ++i)
            lambda[i + gap] ^= Mul(factor, previous[i]);
        if (2 * length <= static_cast<int>(n)) {
            length = static_cast<int>(n) + 1 - length;
            previous = before;
            previousDiscrepancy = discrepancy;
            gap = 1;
        } else {
            ++gap;
        }
    }
    return length;
}

// Chien search: the positions p (0..254) with Lambda(alpha^-p) = 0. Returns how many were found,
// stopping at one more than can be corrected.
int ChienSearch(const TPoly& lambda, int degree,
                std::array<std::size_t, RsMaxCorrectable>& positions) {
    int found = 0;
    for (std::size_t p = 0; p < RsCodewordSize; ++p) {
        if (Evaluate(lambda, AlphaPow(255 - static_cast<unsigned>(p)),
                     static_cast<std::size_t>(degree)) != 0)
            continue;
        if (found == RsMaxCorrectable)
            return found + 1;
        positions[found++] = p;
    }
    return found;
}

// Lambda'(x) in characteristic 2 keeps only the odd powers.
std::uint8_t EvaluateDerivative(const TPoly& lambda, std::uint8_t x) {
    TPoly derivative{};
    for (std::size_t i = 1; i < lambda.size(); i += 2)
        derivative[i - 1] = lambda[i];
    return Evaluate(derivative, x);
}

bool AllZero(const std::array<std::uint8_t, RsParitySize>& s) {
    return std::all_of(s.begin(), s.end(), [](std::uint8_t v) { return v == 0; });
}

} // namespace

constexpr std::array<std::uint8_t, 256> GfExp = ExpTable;
constexpr std::array<std::uint8_t, 256> GfLog = LogTable;
constexpr std::array<std::uint8_t, RsParitySize> RsGenerator = MakeGenerator();
static_assert(RsGenerator == std::array<std::uint8_t, RsParitySize>{117, 49, 58, 158, 4, 126});

std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
    return Mul(a, b);
}

std::uint8_t GfInv(std::uint8_t a) {
    return a == 0 ? 0 : ExpTable[255 - LogTable[a]];
}

std::uint8_t GfPow(std::uint8_t a, std::uint32_t n) {
    if (a == 0)
        return 0;
    return ExpTable[(LogTable[a] * (n % 255)) % 255];
}

void RsEncodeBlock(std::span<const std::uint8_t, RsDataSize> data,
                   std::span<std::uint8_t, RsCodewordSize> codeword) {
    std::array<std::uint8_t, RsParitySize> parity{};
    for (std::size_t i = 0; i < RsDataSize; ++i) {
        codeword[RsCodewordSize - 1 - i] = data[i];
        const std::uint8_t feedback = data[i] ^ parity[RsParitySize - 1];
        for (std::size_t j = RsParitySize - 1; j > 0; --j)
            parity[j] = parity[j - 1] ^ Mul(feedback, RsGenerator[j]);
        parity[0] = Mul(feedback, RsGenerator[0]);
    }
    std::copy(parity.begin(), parity.end(), codeword.begin());
}

std::array<std::uint8_t, RsParitySize>
RsSyndromes(std::span<const std::uint8_t, RsCodewordSize> codeword) {
    // Horner with the roots alpha^1..alpha^6 side by side (six independent chains);
    // multiplying by alpha^(j+1) adds j + 1 to the logarithm.
    std::array<std::uint8_t, RsParitySize> s{};
    for (std::size_t k = RsCodewordSize; k > 0; --k) {
        const std::uint8_t coefficient = codeword[k - 1];
        for (std::size_t j = 0; j < RsParitySize; ++j) {
            const std::uint8_t scaled = s[j] == 0 ? 0 : WideExp[LogTable[s[j]] + j + 1];
            s[j] = static_cast<std::uint8_t>(scaled ^ coefficient);
        }
    }
    return s;
}

int RsDecodeBlock(std::span<const std::uint8_t, RsCodewordSize> codeword,
                  std::span<std::uint8_t, RsDataSize> data) {
    for (std::size_t i = 0; i < RsDataSize; ++i)
        data[i] = codeword[RsCodewordSize - 1 - i];

    const auto s = RsSyndromes(codeword);
    if (AllZero(s))
        return 0;

    TPoly lambda;
    const int count = ErrorLocator(s, lambda);
    if (count > RsMaxCorrectable)
        return RsUncorrectable;
    std::array<std::size_t, RsMaxCorrectable> positions{};
    if (ChienSearch(lambda, count, positions) != count)
        return RsUncorrectable;

    // Forney, first root alpha^1: Y = Omega(X^-1) / Lambda'(X^-1), Omega = S(x) Lambda(x) mod x^6.
    TPoly omega{};
    for (std::size_t i = 0; i < RsParitySize; ++i)
        for (std::size_t j = 0; i + j < RsParitySize; ++j)
            omega[i + j] ^= Mul(s[i], lambda[j]);

    std::array<std::uint8_t, RsCodewordSize> corrected;
    std::copy(codeword.begin(), codeword.end(), corrected.begin());
    for (int e = 0; e < count; ++e) {
        const std::size_t p = positions[e];
        const std::uint8_t inverse = AlphaPow(255 - static_cast<unsigned>(p));
        const std::uint8_t denominator = EvaluateDerivative(lambda, inverse);
        if (denominator == 0)
            return RsUncorrectable;
        const std::uint8_t value = Div(Evaluate(omega, inverse), denominator);
        if (value == 0)
            return RsUncorrectable;
        corrected[p] ^= value;
    }
    // Only a codeword counts as repaired; anything else is reported, never passed on.
    if (!AllZero(RsSyndromes(corrected)))
        return RsUncorrectable;

    for (std::size_t i = 0; i < RsDataSize; ++i)
        data[i] = corrected[RsCodewordSize - 1 - i];
    return count;
}

std::size_t RsSlotCount(std::size_t dataBytes, std::size_t pageBytes) {
    return std::min(dataBytes / RsDataSize, pageBytes / RsSlotSize);
}

void RsEncodePage(std::span<const std::uint8_t> data, std::span<std::uint8_t> page) {
    const std::size_t slots = RsSlotCount(data.size(), page.size());
    for (std::size_t k = 0; k < slots; ++k)
        RsEncodeBlock(data.subspan(k * RsDataSize).first<RsDataSize>(),
                      page.subspan(k * RsSlotSize).first<RsCodewordSize>());
}

int RsDecodePage(std::span<const std::uint8_t> page, std::span<std::uint8_t> data) {
    const std::size_t slots = RsSlotCount(data.size(), page.size());
    int worst = 0;
    for (std::size_t k = 0; k < slots; ++k)
        worst = std::max(worst, RsDecodeBlock(page.subspan(k * RsSlotSize).first<RsCodewordSize>(),
                                              data.subspan(k * RsDataSize).first<RsDataSize>()));
    return worst;
}
