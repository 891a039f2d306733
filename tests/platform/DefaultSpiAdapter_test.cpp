#include <gtest/gtest.h>

#include "platform/SpiAdapter.h"

namespace {

// The real backend on whatever bus this machine has: listing must work or fail cleanly,
// and a device that is not there cannot be opened.
TEST(DefaultSpiAdapter, ListsWhatIsThereAndOpensNothingElse) {
    SpiAdapter& adapter = DefaultSpiAdapter();
    EXPECT_FALSE(adapter.LibraryVersion().empty());
    std::uint32_t count = 12345;
    const int status = adapter.GetHiSpeedDeviceCount(count);
    if (status == SpiOk) {
        TSpiDeviceInfo info;
        EXPECT_EQ(adapter.GetHiSpeedDeviceInfo(count, info), SpiDeviceNotFound);
    } else {
        EXPECT_EQ(count, 0u);
    }
    TSpiHandle handle = 77;
    EXPECT_NE(adapter.OpenHiSpeedDevice("No Such Adapter A", 0xFFFFFF, "A", handle), SpiOk);
    EXPECT_EQ(handle, 0u);
}

} // namespace
