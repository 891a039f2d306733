#pragma once

#include <span>

// One built-in text constant: its name and its English default text (UTF-8).
struct TBuiltInConstant {
    const char* Name;
    const char* Text;
};

// The program's 134 built-in constants, in name order.
std::span<const TBuiltInConstant> BuiltInConstants();
