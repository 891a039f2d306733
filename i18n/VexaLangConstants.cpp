#include "i18n/VexaLangConstants.h"

#include <algorithm>
#include <clocale>
#include <iterator>
#include <locale.h>
#include <wctype.h>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangLocale.h"
#include "i18n/VexaLangResources.h"
#include "i18n/VexaLangStream.h"
#include "platform/CodePage.h"

namespace {

constexpr std::uint16_t FallbackLanguageId = 1033;

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// First code points of the runs of ten decimal digits outside ASCII (Unicode category Nd).
constexpr char32_t DigitRunStarts[] = {
    0x0660,  0x06F0,  0x07C0,  0x0966,  0x09E6,  0x0A66,  0x0AE6,  0x0B66,  0x0BE6,
    0x0C66,  0x0CE6,  0x0D66,  0x0DE6,  0x0E50,  0x0ED0,  0x0F20,  0x1040,  0x1090,
    0x17E0,  0x1810,  0x1946,  0x19D0,  0x1A80,  0x1A90,  0x1B50,  0x1BB0,  0x1C40,
    0x1C50,  0xA620,  0xA8D0,  0xA900,  0xA9D0,  0xA9F0,  0xAA50,  0xABF0,  0xFF10,
    0x104A0, 0x10D30, 0x11066, 0x110F0, 0x11136, 0x111D0, 0x112F0, 0x11450, 0x114D0,
    0x11650, 0x116C0, 0x11730, 0x118E0, 0x11950, 0x11C50, 0x11D50, 0x11DA0, 0x11F50,
    0x16A60, 0x16AC0, 0x16B50, 0x1E140, 0x1E2F0, 0x1E4F0, 0x1E950, 0x1FBF0,
};

bool IsDecimalDigit(char32_t c) {
    if (c >= '0' && c <= '9')
        return true;
    if (c >= 0x1D7CE && c <= 0x1D7FF) // mathematical digits, five runs
        return true;
    auto it = std::upper_bound(std::begin(DigitRunStarts), std::end(DigitRunStarts), c);
    return it != std::begin(DigitRunStarts) && c - *(it - 1) < 10;
}

locale_t Utf8CharacterLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

bool IsLetter(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (IsDecimalDigit(c) || c == 0xFFFD)
        return false;
    locale_t locale = Utf8CharacterLocale();
    // Without the locale, any character from Latin-1's letters up counts as a letter.
    if (locale == locale_t{})
        return c >= 0xC0;
    return iswalpha_l(static_cast<wint_t>(c), locale) != 0;
}

std::string Quoted(const char* prefix, std::string_view name, const char* suffix) {
    return std::string(prefix) + std::string(name) + suffix;
}

} // namespace

int CompareTextAscii(std::string_view a, std::string_view b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TVexaLang_Constants::TVexaLang_Constants(TLanguageIdSource languageIdSource)
    : LanguageIdSource(std::move(languageIdSource)) {}

bool TVexaLang_Constants::IsValidName(std::string_view name) {
    if (name.empty())
        return false;
    std::size_t pos = 0;
    bool first = true;
    while (pos < name.size()) {
        std::size_t start = pos;
        char32_t c = DecodeUtf8(name, pos);
        bool malformed = c == 0xFFFD && pos - start == 1;
        bool allowed = c == '_' || IsLetter(c) || (!first && IsDecimalDigit(c));
        if (malformed || !allowed)
            return false;
        first = false;
    }
    return true;
}

int TVexaLang_Constants::Add(const std::string& name, const std::string& value,
                             std::uint8_t flags) {
    if (!IsValidName(name))
        throw EVexaLangError(Quoted("Invalid constant name (\"", name, "\")"));
    int index;
    if (IndexOfName(name, index))
        throw EVexaLangError(Quoted("Duplicate constant name (\"", name, "\")"));
    Items.insert(Items.begin() + index, TVexaLang_Constant{name, value, value, flags});
    return index;
}

bool TVexaLang_Constants::IndexOfName(std::string_view name, int& index) const {
    auto it = std::lower_bound(Items.begin(), Items.end(), name,
                               [](const TVexaLang_Constant& entry, std::string_view key) {
                                   return CompareTextAscii(entry.Name, key) < 0;
                               });
    index = static_cast<int>(it - Items.begin());
    return it != Items.end() && CompareTextAscii(it->Name, name) == 0;
}

const TVexaLang_Constant& TVexaLang_Constants::FindConstant(std::string_view name) const {
    int index;
    if (!IndexOfName(name, index))
        throw EVexaLangError(Quoted("Constant \"", name, "\" not found"));
    return Items[index];
}

std::string TVexaLang_Constants::GetValueByName(std::string_view name) const {
    return FindConstant(name).Value;
}

std::uint16_t TVexaLang_Constants::SourceLanguageId() const {
    return LanguageIdSource ? LanguageIdSource() : FallbackLanguageId;
}

void TVexaLang_Constants::ReadConstantsStream(std::span<const std::uint8_t> stream) {
    TVexaLangStreamReader reader(stream);
    TVexaLang_Constants loaded(LanguageIdSource);

    int version = reader.ReadByte();
    if (version > CurrentStreamVersion)
        throw EVexaLangError("Stream version (" + std::to_string(version) +
                             ") is greater than the current one (" +
                             std::to_string(CurrentStreamVersion) + ")");
    loaded.AutoSaveFlag = version >= 2 ? reader.ReadBool() : version == 1;
    std::int32_t count = reader.ReadI32();
    if (count < 0)
        throw EVexaLangError("Invalid constants count (" + std::to_string(count) + ")");

    // Old 8-bit values are in the code page of the language the table stands for.
    unsigned valueCodePage = version <= 1 ? CodePageOfLanguage(SourceLanguageId()) : 0;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string name =
            version == 3 ? reader.ReadUtf16String() : reader.ReadAnsiString(SystemCodePage);
        std::string value =
            version >= 2 ? reader.ReadUtf16String() : reader.ReadAnsiString(valueCodePage);
        loaded.Add(name, value, 0);
    }
    Items = std::move(loaded.Items);
    AutoSaveFlag = loaded.AutoSaveFlag;
}

std::vector<std::uint8_t> TVexaLang_Constants::WriteConstantsStream() const {
    TVexaLangStreamWriter writer;
    writer.WriteByte(CurrentStreamVersion);
    writer.WriteBool(AutoSaveFlag);
    writer.WriteI32(Count());
    for (const TVexaLang_Constant& constant : Items) {
        writer.WriteUtf16String(constant.Name);
        writer.WriteUtf16String(constant.DefaultValue);
    }
    return writer.TakeData();
}

bool TVexaLang_Constants::LoadFromResource(const TResourceModule& module,
                                           const std::string& resourceName) {
    const std::vector<std::uint8_t>* stream = module.FindResource(resourceName);
    if (stream == nullptr)
        return false;
    ReadConstantsStream(*stream);
    return true;
}

void TVexaLang_Constants::TranslateFrom(const TVexaLang_Constants* other) {
    for (TVexaLang_Constant& constant : Items) {
        if (other == nullptr) {
            constant.Value = constant.DefaultValue;
            continue;
        }
        int index;
        if (other->IndexOfName(constant.Name, index))
            constant.Value = other->Items[index].Value;
    }
}
