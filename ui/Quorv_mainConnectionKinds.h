#pragma once

#include <cstdint>

// The kinds of connection, their menu items and the texts the title shows for them: the
// connection menu is built from this table and the window title reads it.
struct TConnectionKindItem {
    std::int32_t Kind;
    const char* ItemName;
    const char* Caption;
    bool Shown;
    const char* TitleConstant;
};
inline constexpr TConnectionKindItem ConnectionKinds[] = {
    {3, "miDemo", "Emulation (Demo mode)", true, "DemoModeStr"},
    {0, "miUSB11", "USB 1.1 adapter", false, "USB11AdapterStr"},
    {2, "miUSB20_ADPT", "USB 2.0 adapter", false, "USB20AdapterStr"},
    {4, "miUSB20_SPI", "USB 2.0 SPI adapter", true, "USB20AdapterStr"},
    {5, "miK71_ADPT", "USB 2.0", false, "USB20AdapterStr"},
    {1, "miImageFile", "Image file...", false, "ImageFileStr"},
};
