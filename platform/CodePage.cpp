#include "platform/CodePage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <optional>
#include <string>

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

// Windows language identifiers with their default ANSI code pages, sorted by LangId.
const TLanguageInfo LanguageTable[] = {
    {0x0401, "Arabic", "Saudi Arabia", "ar", 1256},
    {0x0402, "Bulgarian", "Bulgaria", "bg", 1251},
    {0x0403, "Catalan", "Spain", "ca", 1252},
    {0x0404, "Chinese", "Taiwan", "zh", 950},
    {0x0405, "Czech", "Czech Republic", "cs", 1250},
    {0x0406, "Danish", "Denmark", "da", 1252},
    {0x0407, "German", "Germany", "de", 1252},
    {0x0408, "Greek", "Greece", "el", 1253},
    {0x0409, "English", "United States", "en", 1252},
    {0x040A, "Spanish", "Spain, Traditional Sort", "es", 1252},
    {0x040B, "Finnish", "Finland", "fi", 1252},
    {0x040C, "French", "France", "fr", 1252},
    {0x040D, "Hebrew", "Israel", "he", 1255},
    {0x040E, "Hungarian", "Hungary", "hu", 1250},
    {0x040F, "Icelandic", "Iceland", "is", 1252},
    {0x0410, "Italian", "Italy", "it", 1252},
    {0x0411, "Japanese", "Japan", "ja", 932},
    {0x0412, "Korean", "Korea", "ko", 949},
    {0x0413, "Dutch", "Netherlands", "nl", 1252},
    {0x0414, "Norwegian, Bokmal", "Norway", "nb", 1252},
    {0x0415, "Polish", "Poland", "pl", 1250},
    {0x0416, "Portuguese", "Brazil", "pt", 1252},
    {0x0418, "Romanian", "Romania", "ro", 1250},
    {0x0419, "Russian", "Russia", "ru", 1251},
    {0x041A, "Croatian", "Croatia", "hr", 1250},
    {0x041B, "Slovak", "Slovakia", "sk", 1250},
    {0x041C, "Albanian", "Albania", "sq", 1250},
    {0x041D, "Swedish", "Sweden", "sv", 1252},
    {0x041E, "Thai", "Thailand", "th", 874},
    {0x041F, "Turkish", "Turkey", "tr", 1254},
    {0x0420, "Urdu", "Pakistan", "ur", 1256},
    {0x0421, "Indonesian", "Indonesia", "id", 1252},
    {0x0422, "Ukrainian", "Ukraine", "uk", 1251},
    {0x0423, "Belarusian", "Belarus", "be", 1251},
    {0x0424, "Slovenian", "Slovenia", "sl", 1250},
    {0x0425, "Estonian", "Estonia", "et", 1257},
    {0x0426, "Latvian", "Latvia", "lv", 1257},
    {0x0427, "Lithuanian", "Lithuania", "lt", 1257},
    {0x0429, "Persian", "Iran", "fa", 1256},
    {0x042A, "Vietnamese", "Vietnam", "vi", 1258},
    {0x042B, "Armenian", "Armenia", "hy", 0},
    {0x042C, "Azerbaijani", "Azerbaijan, Latin", "az", 1254},
    {0x042D, "Basque", "Spain", "eu", 1252},
    {0x042F, "Macedonian", "North Macedonia", "mk", 1251},
    {0x0436, "Afrikaans", "South Africa", "af", 1252},
    {0x0437, "Georgian", "Georgia", "ka", 0},
    {0x0438, "Faroese", "Faroe Islands", "fo", 1252},
    {0x0439, "Hindi", "India", "hi", 0},
    {0x043E, "Malay", "Malaysia", "ms", 1252},
    {0x043F, "Kazakh", "Kazakhstan", "kk", 1251},
    {0x0440, "Kyrgyz", "Kyrgyzstan", "ky", 1251},
    {0x0441, "Swahili", "Kenya", "sw", 1252},
    {0x0443, "Uzbek", "Uzbekistan, Latin", "uz", 1254},
    {0x0444, "Tatar", "Russia", "tt", 1251},
    {0x0450, "Mongolian", "Mongolia", "mn", 1251},
    {0x0456, "Galician", "Spain", "gl", 1252},
    {0x0801, "Arabic", "Iraq", "ar", 1256},
    {0x0804, "Chinese", "People's Republic of China", "zh", 936},
    {0x0807, "German", "Switzerland", "de", 1252},
    {0x0809, "English", "United Kingdom", "en", 1252},
    {0x080A, "Spanish", "Mexico", "es", 1252},
    {0x080C, "French", "Belgium", "fr", 1252},
    {0x0810, "Italian", "Switzerland", "it", 1252},
    {0x0813, "Dutch", "Belgium", "nl", 1252},
    {0x0814, "Norwegian, Nynorsk", "Norway", "nn", 1252},
    {0x0816, "Portuguese", "Portugal", "pt", 1252},
    {0x081A, "Serbian", "Serbia, Latin", "sr", 1250},
    {0x081D, "Swedish", "Finland", "sv", 1252},
    {0x082C, "Azerbaijani", "Azerbaijan, Cyrillic", "az", 1251},
    {0x0843, "Uzbek", "Uzbekistan, Cyrillic", "uz", 1251},
    {0x0C01, "Arabic", "Egypt", "ar", 1256},
    {0x0C04, "Chinese", "Hong Kong S.A.R.", "zh", 950},
    {0x0C07, "German", "Austria", "de", 1252},
    {0x0C09, "English", "Australia", "en", 1252},
    {0x0C0A, "Spanish", "Spain", "es", 1252},
    {0x0C0C, "French", "Canada", "fr", 1252},
    {0x0C1A, "Serbian", "Serbia, Cyrillic", "sr", 1251},
    {0x1004, "Chinese", "Singapore", "zh", 936},
    {0x1007, "German", "Luxembourg", "de", 1252},
    {0x1009, "English", "Canada", "en", 1252},
    {0x100C, "French", "Switzerland", "fr", 1252},
    {0x140C, "French", "Luxembourg", "fr", 1252},
    {0x1407, "German", "Liechtenstein", "de", 1252},
    {0x1409, "English", "New Zealand", "en", 1252},
    {0x141A, "Bosnian", "Bosnia and Herzegovina, Latin", "bs", 1250},
    {0x1809, "English", "Ireland", "en", 1252},
    {0x1C09, "English", "South Africa", "en", 1252},
    {0x200A, "Spanish", "Venezuela", "es", 1252},
    {0x2409, "English", "Caribbean", "en", 1252},
    {0x240A, "Spanish", "Colombia", "es", 1252},
    {0x280A, "Spanish", "Peru", "es", 1252},
    {0x2C0A, "Spanish", "Argentina", "es", 1252},
    {0x340A, "Spanish", "Chile", "es", 1252},
    {0x4009, "English", "India", "en", 1252},
};

constexpr std::uint16_t PrimaryLanguage(std::uint16_t langId) {
    return langId & 0x03FF;
}

// The entry a sub-language we do not list borrows from: the default sub-language (1).
const TLanguageInfo* FindPrimaryLanguageInfo(std::uint16_t langId) {
    if (const TLanguageInfo* exact = FindLanguageInfo(langId))
        return exact;
    return FindLanguageInfo(static_cast<std::uint16_t>(PrimaryLanguage(langId) | 0x0400));
}

std::atomic<unsigned> PinnedSystemCodePage{0};

unsigned CodePageFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == 0)
            continue;
        std::uint16_t langId = LanguageIdOfLocaleName(value);
        unsigned codePage = langId != 0 ? AnsiCodePageOfLanguageId(langId) : 0;
        return codePage != 0 ? codePage : 1252;
    }
    return 1252;
}

unsigned ResolveCodePage(unsigned codePage) {
    if (codePage == SystemCodePage)
        codePage = SystemAnsiCodePage();
    return codePage;
}

std::string IconvName(unsigned codePage) {
    switch (codePage) {
    case 65001:
        return "UTF-8";
    case 28591:
        return "ISO-8859-1";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    default:
        return "CP" + std::to_string(codePage);
    }
}

// Single-byte Windows code pages leave a few bytes undefined; Windows maps those to the
// C1 control of the same value, which keeps a read-write round trip lossless.
bool IsSingleByteWindowsCodePage(unsigned codePage) {
    return (codePage >= 1250 && codePage <= 1258) || codePage == 874;
}

class TIconv {
public:
    TIconv(const std::string& to, const std::string& from)
        : Handle(iconv_open(to.c_str(), from.c_str())) {}
    ~TIconv() {
        if (IsOpen())
            iconv_close(Handle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool IsOpen() const { return Handle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false with errno set on the first failure.
    // in/out are advanced past what was converted.
    bool Convert(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            char* inPtr = const_cast<char*>(in);
            std::size_t result = iconv(Handle, &inPtr, &inLeft, &outPtr, &outLeft);
            int error = errno;
            in = inPtr;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
                errno = error;
                return false;
            }
        }
        Flush(out);
        return true;
    }
    // Code pages with combining marks (1255, 1258) hold the last character back until they
    // learn nothing combines with it; this hands it out and resets the state.
    void Flush(std::string& out) {
        char pending[64];
        char* outPtr = pending;
        std::size_t outLeft = sizeof pending;
        iconv(Handle, nullptr, nullptr, &outPtr, &outLeft);
        out.append(pending, static_cast<std::size_t>(outPtr - pending));
    }

private:
    iconv_t Handle;
};
using TIconvHolder = std::optional<TIconv>;

enum class TDirection { ToUtf8, FromUtf8 };

// Opens the conversion between UTF-8 and the code page; a code page iconv lacks gives way to
// Windows-1252, and codePage then says so.
void OpenCodePageConverter(TIconvHolder& converter, unsigned& codePage, TDirection direction) {
    const auto open = [&] {
        if (direction == TDirection::ToUtf8)
            converter.emplace("UTF-8", IconvName(codePage));
        else
            converter.emplace(IconvName(codePage), "UTF-8");
    };
    open();
    if (!converter->IsOpen()) {
        codePage = 1252;
        open();
    }
}

} // namespace

unsigned SystemAnsiCodePage() {
    unsigned pinned = PinnedSystemCodePage.load(std::memory_order_relaxed);
    if (pinned != 0)
        return pinned;
    static const unsigned fromEnvironment = CodePageFromEnvironment();
    return fromEnvironment;
}

void SetSystemAnsiCodePage(unsigned codePage) {
    PinnedSystemCodePage.store(codePage, std::memory_order_relaxed);
}

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length;
    char32_t codePoint;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return ReplacementChar;
    }
    if (text.size() - pos < static_cast<std::size_t>(length)) {
        ++pos;
        return ReplacementChar;
    }
    for (int i = 1; i < length; ++i) {
        unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return ReplacementChar;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++pos;
        return ReplacementChar;
    }
    pos += length;
    return codePoint;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        char32_t c = DecodeUtf8(text, pos);
        // A genuine U+FFFD is three bytes; a replacement for a bad byte advances by one.
        if (c == ReplacementChar && pos - start == 1)
            return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = ReplacementChar;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count)
        DecodeUtf8(text, pos);
    return count;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = DecodeUtf8(text, pos);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (c >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = ReplacementChar;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool IsCodePageSupported(unsigned codePage) {
    TIconv probe("UTF-8", IconvName(ResolveCodePage(codePage)));
    return probe.IsOpen();
}

std::string AnsiToUtf8(std::string_view bytes, unsigned codePage) {
    codePage = ResolveCodePage(codePage);
    if (codePage == 65001) {
        std::string out;
        for (std::size_t pos = 0; pos < bytes.size();)
            AppendUtf8(out, DecodeUtf8(bytes, pos));
        return out;
    }
    TIconvHolder converter;
    OpenCodePageConverter(converter, codePage, TDirection::ToUtf8);
    std::string out;
    out.reserve(bytes.size());
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    while (converter->IsOpen() && !converter->Convert(in, inLeft, out)) {
        // An undefined byte, or a multi-byte sequence cut short at the end.
        converter->Flush(out);
        auto bad = static_cast<unsigned char>(*in);
        if (IsSingleByteWindowsCodePage(codePage) && bad >= 0x80 && bad <= 0x9F)
            AppendUtf8(out, bad);
        else
            AppendUtf8(out, ReplacementChar);
        ++in;
        --inLeft;
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view text, unsigned codePage, bool* lossless) {
    if (lossless != nullptr)
        *lossless = true;
    codePage = ResolveCodePage(codePage);
    // Malformed input is made well-formed first, so iconv only ever fails on characters
    // the code page lacks.
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t start = pos;
        char32_t c = DecodeUtf8(text, pos);
        if (c == ReplacementChar && pos - start == 1 && lossless != nullptr)
            *lossless = false;
        AppendUtf8(clean, c);
    }
    if (codePage == 65001)
        return clean;
    TIconvHolder converter;
    OpenCodePageConverter(converter, codePage, TDirection::FromUtf8);
    std::string out;
    out.reserve(clean.size());
    const char* in = clean.data();
    std::size_t inLeft = clean.size();
    while (converter->IsOpen() && !converter->Convert(in, inLeft, out)) {
        converter->Flush(out);
        std::size_t pos = static_cast<std::size_t>(in - clean.data());
        char32_t c = DecodeUtf8(clean, pos);
        if (IsSingleByteWindowsCodePage(codePage) && c >= 0x80 && c <= 0x9F) {
            out += static_cast<char>(c);
        } else {
            out += '?';
            if (lossless != nullptr)
                *lossless = false;
        }
        std::size_t consumed = pos - static_cast<std::size_t>(in - clean.data());
        in += consumed;
        inLeft -= consumed;
    }
    return out;
}

const TLanguageInfo* FindLanguageInfo(std::uint16_t langId) {
    auto it = std::lower_bound(
        std::begin(LanguageTable), std::end(LanguageTable), langId,
        [](const TLanguageInfo& entry, std::uint16_t id) { return entry.LangId < id; });
    return it != std::end(LanguageTable) && it->LangId == langId ? &*it : nullptr;
}

std::string LanguageNameOfId(std::uint16_t langId) {
    if (const TLanguageInfo* exact = FindLanguageInfo(langId))
        return std::string(exact->Language) + " (" + exact->Region + ")";
    if (const TLanguageInfo* primary = FindPrimaryLanguageInfo(langId))
        return primary->Language;
    return {};
}

unsigned AnsiCodePageOfLanguageId(std::uint16_t langId) {
    const TLanguageInfo* info = FindPrimaryLanguageInfo(langId);
    return info != nullptr ? info->AnsiCodePage : 0;
}

std::uint16_t LanguageIdOfLocaleName(std::string_view localeName) {
    // "ll", "ll_CC", "ll_CC.charset@modifier"
    std::size_t end = localeName.find_first_of("_.@");
    std::string_view iso = localeName.substr(0, end);
    if (iso.size() < 2 || iso.size() > 3)
        return 0;
    std::string lower(iso);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    // Prefer the default sub-language (1), the entry Windows reports for the bare language.
    const TLanguageInfo* found = nullptr;
    for (const TLanguageInfo& entry : LanguageTable) {
        if (lower != entry.IsoCode)
            continue;
        if (found == nullptr || (entry.LangId >> 10) == 1)
            found = &entry;
        if ((entry.LangId >> 10) == 1)
            break;
    }
    return found != nullptr ? found->LangId : 0;
}
