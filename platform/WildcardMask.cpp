#include "platform/WildcardMask.h"

#include <locale.h>
#include <vector>
#include <wctype.h>

#include "platform/CodePage.h"

namespace {

char32_t FoldCase(char32_t c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (locale == locale_t{})
        return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

std::vector<char32_t> FoldedCodePoints(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();)
        out.push_back(FoldCase(DecodeUtf8(text, pos)));
    return out;
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    const std::vector<char32_t> text = FoldedCodePoints(name);
    const std::vector<char32_t> pattern = FoldedCodePoints(mask);
    // Greedy match that backtracks only to the last "*": linear in practice, and never
    // worse than text length times mask length.
    std::size_t t = 0, p = 0;
    std::size_t starPattern = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starPattern = p++;
            starText = t;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}
