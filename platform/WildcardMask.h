#pragma once

#include <string_view>

// The framework's file and property masks: "*" matches any run of characters (none
// included), "?" exactly one character; every other character matches itself without
// regard to letter case. Names and masks are UTF-8.
bool MatchesMask(std::string_view name, std::string_view mask);
