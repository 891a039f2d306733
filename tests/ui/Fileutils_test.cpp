#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <random>
#include <string>

#include "ui/Fileutils.h"

namespace {

TFileListItem MakeItem(const std::string& name, bool folder, std::int64_t size = 0,
                       const std::string& folderPath = "\\", std::uint16_t day = 1) {
    TFileListItem item;
    item.Name = name;
    item.IsFolder = folder ? 1 : 0;
    item.Size = size;
    item.FolderPath = folderPath;
    item.Time.Year = 2024;
    item.Time.Month = 3;
    item.Time.Day = day;
    return item;
}

std::vector<std::string> Names(const TFileList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) {
        names.push_back(list.Item(i).Name);
    }
    return names;
}

using TNames = std::vector<std::string>;

TEST(FileList, NewListIsEmptyUnsortedAndDescending) {
    TFileList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.SortMode(), FileSortNone);
    EXPECT_FALSE(list.Ascending());
}

TEST(FileList, AddCopyCopiesEveryField) {
    TFileList list;
    TFileListItem item = MakeItem("x.wav", false, 1234567890123, "\\music\\", 9);
    item.Time.Hour = 13;
    item.Time.Milliseconds = 250;
    item.DataLink = 0xDEADBEEF;
    TFileListItem* added = list.AddCopy(item);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(added, &list.Item(0));
    EXPECT_EQ(added->Name, item.Name);
    EXPECT_EQ(added->Size, item.Size);
    EXPECT_EQ(added->Time, item.Time);
    EXPECT_EQ(added->IsFolder, item.IsFolder);
    EXPECT_EQ(added->FolderPath, item.FolderPath);
    EXPECT_EQ(added->DataLink, item.DataLink);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

struct TOrderCase {
    const char* name;
    std::int32_t mode;
    bool ascending;
    TNames expected;
    friend void PrintTo(const TOrderCase& c, std::ostream* os) { *os << c.name; }
};

class FileListOrder : public ::testing::TestWithParam<TOrderCase> {};

TEST_P(FileListOrder, FoldersFirstThenKeyThenName) {
    const TOrderCase& c = GetParam();
    TFileList list;
    list.AddCopy(MakeItem("b.txt", false, 100, "\\", 5));
    list.AddCopy(MakeItem("Zeta", true, 2, "\\", 1));
    list.AddCopy(MakeItem("a.txt", false, 100, "\\", 7));
    list.AddCopy(MakeItem("C.txt", false, 50, "\\", 6));
    list.AddCopy(MakeItem("alpha", true, 9, "\\", 3));
    list.SetSortMode(c.mode);
    list.SetAscending(c.ascending);
    list.Sort();
    EXPECT_EQ(Names(list), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileListOrder,
    ::testing::Values(
        TOrderCase{
            "NameAscending", FileSortByName, true, {"alpha", "Zeta", "a.txt", "b.txt", "C.txt"}},
        TOrderCase{"NameDescendingPutsFoldersLast",
                   FileSortByName,
                   false,
                   {"C.txt", "b.txt", "a.txt", "Zeta", "alpha"}},
        TOrderCase{
            "SizeTiesByName", FileSortBySize, true, {"Zeta", "alpha", "C.txt", "a.txt", "b.txt"}},
        TOrderCase{
            "SizeDescending", FileSortBySize, false, {"b.txt", "a.txt", "C.txt", "alpha", "Zeta"}},
        TOrderCase{
            "TimeAscending", FileSortByTime, true, {"Zeta", "alpha", "b.txt", "C.txt", "a.txt"}},
        TOrderCase{"OtherModeSortsByName", 2, true, {"alpha", "Zeta", "a.txt", "b.txt", "C.txt"}},
        TOrderCase{"ModeNoneSortByName",
                   FileSortNone,
                   true,
                   {"alpha", "Zeta", "a.txt", "b.txt", "C.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileList, TimeComparesTheWholeCalendarTime) {
    TFileList list;
    TFileListItem late = MakeItem("late", false);
    late.Time = {2023, 12, 0, 31, 23, 59, 59, 999};
    TFileListItem early = MakeItem("early", false);
    early.Time = {2024, 1, 1, 1, 0, 0, 0, 0};
    TFileListItem millis = MakeItem("millis", false);
    millis.Time = {2023, 12, 0, 31, 23, 59, 59, 998};
    list.AddCopy(early);
    list.AddCopy(late);
    list.AddCopy(millis);
    list.SetSortMode(FileSortByTime);
    EXPECT_EQ(Names(list), (TNames{"millis", "late", "early"}));
}

TEST(FileList, SetSortModeTurnsAscendingAndSorts) {
    TFileList list;
    list.AddCopy(MakeItem("b", false));
    list.AddCopy(MakeItem("a", false));
    list.SetAscending(true);
    EXPECT_EQ(Names(list), (TNames{"b", "a"})) << "mode 0 does not sort by itself";
    list.SetAscending(false);
    list.SetSortMode(FileSortByName);
    EXPECT_TRUE(list.Ascending()) << "a new mode is ascending whatever was before";
    EXPECT_EQ(Names(list), (TNames{"a", "b"}));

    list.SetAscending(false);
    EXPECT_EQ(Names(list), (TNames{"b", "a"}));
    list.SetSortMode(FileSortByName); // the same mode again changes nothing
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Names(list), (TNames{"b", "a"}));
}

TEST(FileList, NamesCompareWithoutRegardToCaseBeyondAscii) {
    TFileList list;
    list.AddCopy(MakeItem("\xC3\xA9t\xC3\xA9", false)); // été
    list.AddCopy(MakeItem("\xC3\x89TA", false));        // ÉTA
    list.AddCopy(MakeItem("zed", false));
    list.SetSortMode(FileSortByName);
    EXPECT_EQ(Names(list), (TNames{"zed", "\xC3\x89TA", "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_LT(CompareText("abc", "ABD"), 0);
}

// Names the order holds equal (the same name in two folders of a subtree view, or two that
// differ only in letter case) stay in the order they were added, in either direction.
TEST(FileList, EntriesThatCompareEqualKeepTheirOrder) {
    TFileList list;
    list.AddCopy(MakeItem("notes.txt", false, 1, "\\b\\"));
    list.AddCopy(MakeItem("Notes.TXT", false, 1, "\\a\\"));
    list.AddCopy(MakeItem("apple", false, 1, "\\"));
    list.AddCopy(MakeItem("NOTES.txt", false, 1, "\\"));
    list.SetSortMode(FileSortByName);
    EXPECT_EQ(Names(list), (TNames{"apple", "notes.txt", "Notes.TXT", "NOTES.txt"}));
    list.SetAscending(false);
    EXPECT_EQ(Names(list), (TNames{"notes.txt", "Notes.TXT", "NOTES.txt", "apple"}));
}

// Many entries with many ties: every neighbour pair must be in order, for random, sorted and
// reversed input alike.
TEST(FileList, LargeListsEndUpInOrder) {
    std::mt19937 random(12345);
    for (const char* shape : {"random", "sorted", "reversed"}) {
        TFileList list;
        for (int i = 0; i < 20000; ++i) {
            const int key = static_cast<int>(random() % 300);
            list.AddCopy(MakeItem("n" + std::to_string(key % 37), key % 11 == 0, key,
                                  "\\f" + std::to_string(i % 5) + "\\"));
        }
        list.SetSortMode(FileSortBySize);
        if (std::string(shape) == "reversed") {
            list.SetAscending(false);
            list.SetAscending(true);
        }
        if (std::string(shape) == "sorted") {
            list.Sort();
        }
        for (int i = 1; i < list.Count(); ++i) {
            ASSERT_LE(list.CompareItems(list.Item(i - 1), list.Item(i)), 0) << shape << " at " << i;
        }
        EXPECT_EQ(list.Count(), 20000);
    }
}

// A source list shaped like a small drive: root, \a\, \a\b\ and a folder named like a prefix.
class FilteredView : public ::testing::Test {
protected:
    void SetUp() override {
        Source.AddCopy(MakeItem("a", true, 2, "\\"));
        Source.AddCopy(MakeItem("ab", true, 1, "\\"));
        Source.AddCopy(MakeItem("root.txt", false, 1, "\\"));
        Source.AddCopy(MakeItem("b", true, 1, "\\a\\"));
        Source.AddCopy(MakeItem("in-a.txt", false, 1, "\\a\\"));
        Source.AddCopy(MakeItem("in-b.txt", false, 1, "\\a\\b\\"));
        Source.AddCopy(MakeItem("in-ab.txt", false, 1, "\\ab\\"));
        View.SetSortMode(FileSortByName);
        View.OnChange = [this] { ++Changes; };
        View.SetSourceList(&Source);
    }

    std::map<std::string, std::string> FolderOf() const {
        std::map<std::string, std::string> result;
        for (int i = 0; i < View.Count(); ++i) {
            result[View.Item(i).Name] = View.Item(i).FolderPath;
        }
        return result;
    }

    TFileList Source;
    TFilteredFileList View;
    int Changes = 0;
};

TEST_F(FilteredView, ShowsOneFolderWithPathsMadeRelative) {
    EXPECT_EQ(View.FilterPath(), "\\");
    EXPECT_EQ(Names(View), (TNames{"a", "ab", "root.txt"}));

    View.SetFilterPath("\\a");
    EXPECT_EQ(View.FilterPath(), "\\a\\");
    EXPECT_EQ(Names(View), (TNames{"b", "in-a.txt"}));
    EXPECT_EQ(FolderOf(), (std::map<std::string, std::string>{{"b", ""}, {"in-a.txt", ""}}));

    View.SetFilterPath("\\A\\");
    EXPECT_EQ(View.Count(), 0) << "folder paths compare with case";
}

TEST_F(FilteredView, SubtreeModeAddsEverythingBelow) {
    View.SetSubtree(true);
    EXPECT_EQ(View.Count(), Source.Count()) << "the root's subtree is the whole list";

    View.SetFilterPath("\\a\\");
    EXPECT_EQ(FolderOf(), (std::map<std::string, std::string>{
                              {"b", ""}, {"in-a.txt", ""}, {"in-b.txt", "b\\"}}))
        << "\\ab\\ is not below \\a\\";
}

TEST_F(FilteredView, RefillsOnlyWhenSomethingChanged) {
    const int afterSource = Changes;
    EXPECT_GE(afterSource, 1);
    View.SetFilterPath("\\a\\");
    EXPECT_EQ(Changes, afterSource + 1);
    View.SetFilterPath("\\a\\");
    EXPECT_EQ(Changes, afterSource + 1) << "same path, no refill";
    View.SetSubtree(false);
    EXPECT_EQ(Changes, afterSource + 1) << "same flag, no refill";
    View.Refresh();
    EXPECT_EQ(Changes, afterSource + 2);
}

TEST_F(FilteredView, EmptyPathGoesBackToTheRootAndRefills) {
    View.SetFilterPath("\\a\\");
    Source.AddCopy(MakeItem("new.txt", false, 1, "\\"));
    const int before = Changes;
    View.SetFilterPath("");
    EXPECT_EQ(View.FilterPath(), "\\");
    EXPECT_EQ(Changes, before + 1);
    View.SetFilterPath("");
    EXPECT_EQ(Changes, before + 2) << "\"\" differs from \"\\\", so the root view refills";
    EXPECT_EQ(Names(View), (TNames{"a", "ab", "new.txt", "root.txt"}));
}

TEST_F(FilteredView, LevelUpStopsAtTheRoot) {
    View.SetFilterPath("\\a\\b\\");
    EXPECT_EQ(Names(View), (TNames{"in-b.txt"}));
    View.LevelUp();
    EXPECT_EQ(View.FilterPath(), "\\a\\");
    View.LevelUp();
    EXPECT_EQ(View.FilterPath(), "\\");
    View.LevelUp();
    EXPECT_EQ(View.FilterPath(), "\\");
    EXPECT_EQ(Names(View), (TNames{"a", "ab", "root.txt"}));
}

TEST_F(FilteredView, HoldsCopiesAndForgetsAGoneSource) {
    Source.Item(0).Name = "renamed";
    EXPECT_EQ(View.Item(0).Name, "a");
    View.SetSourceList(nullptr);
    EXPECT_EQ(View.Count(), 0);
}

} // namespace
