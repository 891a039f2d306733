#include "i18n/VexaLangEscape.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string UnescapeControlChars(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        const char next = value[i + 1];
        if (next == 'n') {
            out += "\r\n";
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == '\\') {
            out += '\\';
            ++i;
        } else if (IsDigit(next) && i + 2 < value.size() && IsDigit(value[i + 2])) {
            out += static_cast<char>((next - '0') * 10 + (value[i + 2] - '0'));
            i += 2;
        } else {
            out += c; // the next character is read normally
        }
    }
    return out;
}

std::string EscapeControlChars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\r' || c == '\n') {
            // A CR LF or LF CR pair is one line break.
            const char partner = c == '\r' ? '\n' : '\r';
            if (i + 1 < text.size() && text[i + 1] == partner)
                ++i;
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (static_cast<unsigned char>(c) < 32) {
            const int code = static_cast<unsigned char>(c);
            out += '\\';
            out += static_cast<char>('0' + code / 10);
            out += static_cast<char>('0' + code % 10);
        } else {
            out += c;
        }
    }
    return out;
}
