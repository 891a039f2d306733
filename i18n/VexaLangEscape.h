#pragma once

#include <string>
#include <string_view>

// The escapes of language-file values. Texts are UTF-8; only ASCII characters are escaped.

// "\n" becomes CR LF, "\t" a tab, "\\" one backslash and a backslash with two decimal digits
// the character of that code (0 to 99). A backslash followed by anything else, or by
// nothing, stays as written.
std::string UnescapeControlChars(std::string_view value);

// The inverse for writing a language source: tab as "\t", a line break (LF, CR, CR LF or
// LF CR) as "\n", a backslash doubled, any other control character as a backslash and two
// decimal digits.
std::string EscapeControlChars(std::string_view text);
