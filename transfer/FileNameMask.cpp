#include "transfer/FileNameMask.h"

#include <cctype>
#include <cstdio>

#include "engine/RecClassesLists.h"

namespace {

constexpr const char* MonthNames[] = {"January",   "February", "March",    "April",
                                      "May",       "June",     "July",     "August",
                                      "September", "October",  "November", "December"};
constexpr const char* DayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};

std::string UpperAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Number(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*u", digits, value);
    return buffer;
}

std::string MonthName(unsigned month, bool shortName) {
    if (month < 1 || month > 12)
        return {};
    std::string name = MonthNames[month - 1];
    return shortName ? name.substr(0, 3) : name;
}

// Day of week from the date itself: the stored field may be unset.
std::string DayName(const TSystemTime& time, bool shortName) {
    if (time.Month < 1 || time.Month > 12 || time.Day < 1 || time.Day > 31)
        return {};
    const std::int64_t days = DaysFromCivil(time.Year, time.Month, time.Day);
    const int weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    std::string name = DayNames[weekday];
    return shortName ? name.substr(0, 3) : name;
}

std::size_t RunLength(const std::string& format, std::size_t at, char upperLetter) {
    std::size_t n = 0;
    while (at + n < format.size() &&
           std::toupper(static_cast<unsigned char>(format[at + n])) == upperLetter)
        ++n;
    return n;
}

} // namespace

std::string FormatMaskDateTime(const std::string& format, const TSystemTime& time) {
    std::string out;
    bool lastWasHour = false;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = format.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? format.size() : close;
            out.append(format, i + 1, end - i - 1);
            i = close == std::string::npos ? end : close + 1;
            continue;
        }
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::size_t n = RunLength(format, i, letter);
        switch (letter) {
        case 'Y':
            out += n <= 2 ? Number(time.Year % 100, 2) : Number(time.Year, 4);
            break;
        case 'M':
            if (lastWasHour && n <= 2)
                out += Number(time.Minute, n == 1 ? 1 : 2);
            else if (n <= 2)
                out += Number(time.Month, n == 1 ? 1 : 2);
            else
                out += MonthName(time.Month, n == 3);
            break;
        case 'D':
            if (n <= 2)
                out += Number(time.Day, n == 1 ? 1 : 2);
            else
                out += DayName(time, n == 3);
            break;
        case 'H':
            out += Number(time.Hour, n == 1 ? 1 : 2);
            break;
        case 'N':
            out += Number(time.Minute, n == 1 ? 1 : 2);
            break;
        case 'S':
            out += Number(time.Second, n == 1 ? 1 : 2);
            break;
        case 'Z':
            out += Number(time.Milliseconds, n < 3 ? 1 : 3);
            break;
        default:
            out.append(n, c);
            i += n;
            continue; // separators keep an hour's claim on a following "m"
        }
        lastWasHour = letter == 'H';
        i += n;
    }
    return out;
}

std::string SanitizeFileName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    if (out.empty())
        return "_";
    if (out.find_first_not_of('.') == std::string::npos)
        out.insert(out.begin(), '_');
    return out;
}

std::string ExpandFileNameMask(const std::string& mask, const TSystemTime& time,
                               const std::string& serialText, std::uint16_t recordNumber,
                               std::uint32_t voicePart, const std::string& callText) {
    std::string result;
    std::size_t i = 0;
    while (i < mask.size()) {
        const std::size_t open = mask.find('[', i);
        if (open == std::string::npos) {
            result.append(mask, i, std::string::npos);
            break;
        }
        result.append(mask, i, open - i);
        const std::size_t close = mask.find(']', open + 1);
        if (close == std::string::npos) {
            result.append(mask, open + 1, std::string::npos);
            break;
        }
        const std::string token = mask.substr(open + 1, close - open - 1);
        const std::string upper = UpperAscii(token);
        if (upper == "SN") {
            result += SanitizeFileName(serialText);
        } else if (upper == "RN") {
            result += std::to_string(recordNumber);
            if (voicePart != NoVoicePart)
                result += "_" + std::to_string(voicePart);
        } else if (upper == "EI") {
            if (!callText.empty())
                result += SanitizeFileName(callText);
        } else {
            result += FormatMaskDateTime(token, time);
        }
        i = close + 1;
    }
    return result;
}

std::string MakeRecordFileName(const TCustomSoundFileInfo& entry, const TSystemTime& time,
                               const std::string& serialText, const std::string& mask) {
    std::string name;
    if (entry.Parent != nullptr)
        name = ExpandFileNameMask(mask, entry.Start, serialText, entry.Parent->Number, entry.Number,
                                  entry.CallText);
    else
        name =
            ExpandFileNameMask(mask, time, serialText, entry.Number, NoVoicePart, entry.CallText);
    // The mask itself may hold separators; the name stays inside the target folder.
    return SanitizeFileName(name);
}
