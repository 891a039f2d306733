#include "i18n/VexaLangFile.h"

#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangEscape.h"
#include "i18n/VexaLangManager.h"
#include "platform/CodePage.h"

namespace {

constexpr std::string_view ConstantsSectionName = "$CONSTANTS";

std::string_view TrimBlanksAndControls(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return CompareTextAscii(a, b) == 0;
}

std::u16string Utf16FromBytes(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(bigEndian ? static_cast<char16_t>(first << 8 | second)
                                  : static_cast<char16_t>(second << 8 | first));
    }
    if (i < bytes.size()) // a file cut inside its last character
        units.push_back(u'\uFFFD');
    return units;
}

// A line's text is split at CR, LF and CR LF, as the framework's string list does.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// A decimal integer with an optional sign; false when the text is anything else or does
// not fit 32 bits.
bool ParseDecimalId(std::string_view text, std::int32_t& value) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Where the entries of the lines read so far go.
struct TParseState {
    enum class TArea { Header, Constants, Component };
    TArea Area = TArea::Header;
    TVexaLang_CompTranslation* Section = nullptr;
};

// Returns false when the parse is to stop (a section header in parameters-only mode).
bool ParseLine(std::string_view line, TVexaLang_CompTranslations& target, bool parametersOnly,
               TParseState& state) {
    line = TrimBlanksAndControls(line);
    if (line.empty() || line.front() == ';')
        return true;
    if (line.front() == '[') {
        if (parametersOnly)
            return false;
        if (line.size() > 2 && line.back() == ']') {
            const std::string name(TrimBlanksAndControls(line.substr(1, line.size() - 2)));
            if (EqualsIgnoringAsciiCase(name, ConstantsSectionName)) {
                state.Area = TParseState::TArea::Constants;
                state.Section = nullptr;
            } else {
                state.Area = TParseState::TArea::Component;
                state.Section = &target.AddSection(name);
            }
        }
        return true;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return true;
    const std::string_view name = TrimBlanksAndControls(line.substr(0, equals));
    const std::string_view value = TrimBlanksAndControls(line.substr(equals + 1));
    if (name.empty())
        return true;
    switch (state.Area) {
    case TParseState::TArea::Header:
        target.SetParameter(std::string(name), std::string(value));
        break;
    case TParseState::TArea::Constants:
        target.Constants().Add(std::string(name), UnescapeControlChars(value));
        break;
    case TParseState::TArea::Component: {
        std::int32_t id = 0;
        if (ParseDecimalId(name, id) && id > 0)
            state.Section->Add(id, UnescapeControlChars(value));
        break;
    }
    }
    return true;
}

std::string SystemErrorText(const char* what, const std::string& fileName, int error) {
    return std::string(what) + " \"" + fileName + "\": " + std::strerror(error);
}

std::string ReadWholeFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EVexaLangError(SystemErrorText("Cannot open file", fileName, errno));
    struct TCloser {
        int Fd;
        ~TCloser() { ::close(Fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw EVexaLangError(SystemErrorText("Cannot read file", fileName, errno));
    if (!S_ISREG(info.st_mode))
        throw EVexaLangError("Cannot open file \"" + fileName + "\": not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > MaxLanguageFileSize)
        throw EVexaLangError("Language file \"" + fileName + "\" is too large");
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EVexaLangError(SystemErrorText("Cannot read file", fileName, errno));
        if (got == 0)
            break;
        // The file may grow after the size check; the limit holds all the same.
        if (bytes.size() + static_cast<std::size_t>(got) > MaxLanguageFileSize)
            throw EVexaLangError("Language file \"" + fileName + "\" is too large");
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

} // namespace

std::string DecodeLanguageFileText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        // Malformed sequences become U+FFFD so that later steps see valid UTF-8 only.
        std::string out;
        out.reserve(bytes.size());
        for (std::size_t pos = 0; pos < bytes.size();)
            AppendUtf8(out, DecodeUtf8(bytes, pos));
        return out;
    }
    if (bytes.starts_with("\xFF\xFE"))
        return Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), false));
    if (bytes.starts_with("\xFE\xFF"))
        return Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), true));
    return AnsiToUtf8(bytes, SystemCodePage);
}

void ParseLanguageText(std::string_view text, TVexaLang_CompTranslations& target,
                       bool parametersOnly) {
    const std::vector<std::string_view> lines = SplitLines(text);
    TParseState state;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        try {
            if (!ParseLine(lines[index], target, parametersOnly, state))
                return;
        } catch (const std::exception& error) {
            throw EVexaLangError("Loading translations failed.\r\nLine " + std::to_string(index) +
                                 ": " + error.what());
        }
    }
}

void LoadLanguageFile(const std::string& fileName, TVexaLang_CompTranslations& target,
                      bool parametersOnly) {
    ParseLanguageText(DecodeLanguageFileText(ReadWholeFile(fileName)), target, parametersOnly);
}

void WriteConstantsSource(const TVexaLang_Constants& constants, std::uint8_t excludeFlags,
                          std::vector<std::string>& lines) {
    lines.push_back("[" + std::string(ConstantsSectionName) + "]");
    for (int i = 0; i < constants.Count(); ++i) {
        const TVexaLang_Constant& constant = constants.Item(i);
        if ((constant.Flags & excludeFlags) == 0)
            lines.push_back(constant.Name + "=" + EscapeControlChars(constant.Value));
    }
}

std::uint16_t TVexaLangFileParser::ReadLanguageId(const std::string& fileName) {
    TVexaLang_CompTranslations header;
    LoadLanguageFile(fileName, header, true);
    return header.LanguageId();
}

std::unique_ptr<TVexaLang_CompTranslations>
TVexaLangFileParser::LoadTranslations(const std::string& fileName) {
    auto translations = std::make_unique<TVexaLang_CompTranslations>();
    LoadLanguageFile(fileName, *translations, false);
    return translations;
}

int ScanProgramLanguageFiles(TVexaLanguageManager& manager, const std::string& programFile) {
    const std::filesystem::path program(programFile);
    manager.SetFileReader(std::make_shared<TVexaLangFileParser>());
    return manager.FindLanguageFiles(program.parent_path().string(),
                                     program.stem().string() + "_*.lng", false);
}
