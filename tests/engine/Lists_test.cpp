#include <gtest/gtest.h>
#include <stdexcept>
#include <type_traits>

#include "engine/RecClassesLists.h"

namespace {

std::unique_ptr<TSoundFileInfo> Recording(std::uint16_t number, const std::string& name = "") {
    auto info = std::make_unique<TSoundFileInfo>();
    info->Number = number;
    info->Name = name;
    return info;
}

std::unique_ptr<TDriveFileInfo> DriveFile(std::uint16_t number, const std::string& name) {
    auto info = std::make_unique<TDriveFileInfo>();
    info->Number = number;
    info->Name = name;
    return info;
}

TEST(SoundFileList, FindByNumberGivesTheFirstMatchOrMinusOne) {
    TSoundFileList list;
    EXPECT_EQ(list.FindByNumber(1), -1);
    EXPECT_EQ(list.ByNumber(1), nullptr);
    list.Add(Recording(4, "a"));
    list.Add(Recording(7, "b"));
    list.Add(Recording(7, "c"));
    EXPECT_EQ(list.FindByNumber(7), 1);
    EXPECT_EQ(list.ByNumber(7)->Name, "b");
    EXPECT_EQ(list.FindByNumber(5), -1);
    EXPECT_EQ(list.GetInfo(2)->Name, "c");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(DriveFileList, NamesCompareExactly) {
    TDriveFileList list;
    EXPECT_EQ(list.IndexOfName("x"), -1);
    list.Add(DriveFile(1, "Docs\\Report.txt"));
    list.Add(DriveFile(2, "docs\\report.txt"));
    EXPECT_EQ(list.IndexOfName("docs\\report.txt"), 1);
    EXPECT_EQ(list.IndexOfName("DOCS\\REPORT.TXT"), -1);
    EXPECT_EQ(list.FindByNumber(2), 1);
    EXPECT_EQ(list.FindByNumber(3), -1);
}

// Both owning lists keep their records the same way.
template <class TList> class OwnedInfoList : public ::testing::Test {};
using TOwnedLists = ::testing::Types<TSoundFileList, TDriveFileList>;
TYPED_TEST_SUITE(OwnedInfoList, TOwnedLists);

TYPED_TEST(OwnedInfoList, TruncateFreesTheTailAndIgnoresCountsOutsideTheList) {
    using TInfo = std::remove_pointer_t<decltype(TypeParam().Get(0))>;
    const struct {
        const char* name;
        int count;
        int left;
    } cases[] = {
        {"to two", 2, 2},       {"to none", 0, 0},   {"to all", 3, 3},
        {"past the end", 5, 3}, {"negative", -1, 3},
    };
    for (const auto& c : cases) {
        TypeParam list;
        for (std::uint16_t n = 1; n <= 3; ++n) {
            auto info = std::make_unique<TInfo>();
            info->Number = n;
            EXPECT_EQ(list.Add(std::move(info)), n - 1) << c.name;
        }
        list.Truncate(c.count);
        ASSERT_EQ(list.Count(), c.left) << c.name;
        for (int i = 0; i < c.left; ++i)
            EXPECT_EQ(list.Get(i)->Number, i + 1) << c.name;
        EXPECT_EQ(list.FindByNumber(3), c.left == 3 ? 2 : -1) << c.name;
        EXPECT_THROW(list.Get(c.left), std::out_of_range) << c.name;
    }
}

TEST(SoundPageList, VoicePartsShareTheRecordingsPages) {
    auto recording = Recording(1);
    for (int i = 0; i < 6; ++i)
        recording->Pages.Add({1000.0 + i, 1000u + i, static_cast<std::uint32_t>(64 + i), 0,
                              static_cast<std::uint8_t>(i == 2 || i == 5)});
    TSoundFileList& parts = recording->CreateVoicePartList();
    EXPECT_EQ(recording->VoiceParts, &parts);
    for (auto [first, count] : {std::pair{0, 3}, std::pair{3, 3}}) {
        auto part = Recording(static_cast<std::uint16_t>(parts.Count() + 1));
        part->Parent = recording.get();
        part->Pages = TSoundPageList::SharedRange(recording->Pages, first, count);
        parts.Add(std::move(part));
    }
    const TSoundPageList& second = parts.Get(1)->Pages;
    EXPECT_FALSE(second.OwnsEntries());
    EXPECT_EQ(second.Count(), 3);
    EXPECT_EQ(&second.Get(0), &recording->Pages.Get(3)); // the same entry, not a copy
    EXPECT_THROW(second.Get(3), std::out_of_range);
    TSoundPageList view = second;
    EXPECT_THROW(view.Add({}), std::logic_error);
    EXPECT_THROW(TSoundPageList::SharedRange(recording->Pages, 4, 3), std::out_of_range);
    // Destroying the recording frees each page once (checked by the address sanitizer).
    recording.reset();
}

} // namespace
