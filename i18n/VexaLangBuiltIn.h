#pragma once

#include <span>

// One built-in text constant: its name and its English default text (UTF-8).
struct TBuiltInConstant {
    const char* Name;
    const char* Text;
};

// The program's built-in constants, in name order: the 134 it was described with and the
// ones added since (BuiltInConstantsAdded).
std::span<const TBuiltInConstant> BuiltInConstants();

// The constants added to the described 134, for messages the description lacked.
constexpr const char* BuiltInConstantsAdded[] = {
    "CantWriteStr", // a PC file that could not be written: its name and the system's reason
};
