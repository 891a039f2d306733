#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utime.h>
#include <vector>

#include "tests/support/TempDir.h"
#include "transfer/FileTree.h"

namespace {

using TTree = std::vector<TFileListItem>;
using TNames = std::vector<std::string>;

TNames Names(const TTree& list) {
    TNames names;
    for (const TFileListItem& item : list) {
        names.push_back(item.Name);
    }
    return names;
}

// An entry no scan produces, to show that a scan replaces what the list held.
TFileListItem Stale() {
    TFileListItem item;
    item.Name = "stale";
    return item;
}

TEST(PathFunctions, TrimAndAddBackslashes) {
    const struct {
        const char* in;
        const char* trimmed;
        const char* added;
    } cases[] = {
        {"", "", "\\"},
        {"\\", "", "\\"},
        {"\\\\\\", "", "\\\\\\"},
        {"abc", "abc", "abc\\"},
        {"\\a\\b\\", "a\\b", "\\a\\b\\"},
        {"\\\\a\\\\b\\\\", "a\\\\b", "\\\\a\\\\b\\\\"},
        {"a\\", "a", "a\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrimBackslashes(c.in), c.trimmed) << "in: " << c.in;
        EXPECT_EQ(AddBackslash(c.in), c.added) << "in: " << c.in;
    }
}

// A real folder tree in a temporary folder.
class FolderScan : public ::testing::Test {
protected:
    void SetUp() override {
        Root = Temp.Path / "tree";
        std::filesystem::create_directories(Root / "sub" / "empty");
        Write(Root / "a.txt", 10);
        Write(Root / "b.bin", 300);
        Write(Root / ".hidden", 1);
        Write(Root / "sub" / "c.txt", 5);
    }

    static void Write(const std::filesystem::path& path, std::size_t size) {
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    }

    const TFileListItem* Find(const TTree& list, const std::string& name) const {
        for (const TFileListItem& item : list) {
            if (item.Name == name) {
                return &item;
            }
        }
        return nullptr;
    }

    testsupport::TTempDir Temp;
    std::filesystem::path Root;
};

TEST_F(FolderScan, ListsTheTreeWithCountsAndTotal) {
    TTree list;
    list.push_back(Stale());
    EXPECT_EQ(ScanFolderTree(Root.string(), &list), 316);
    ASSERT_EQ(list.size(), 7u) << "root, a.txt, b.bin, .hidden, sub, empty, c.txt";

    EXPECT_EQ(Find(list, "stale"), nullptr);
    EXPECT_EQ(list[0].Name, "tree") << "the root folder comes first";
    EXPECT_EQ(list[0].FolderPath, "\\");
    EXPECT_EQ(list[0].IsFolder, 1);
    EXPECT_EQ(list[0].Size, 4) << "entries directly inside the root";

    const struct {
        const char* name;
        bool folder;
        std::int64_t size;
        const char* folderPath;
    } expected[] = {
        {"a.txt", false, 10, "\\tree\\"},    {"b.bin", false, 300, "\\tree\\"},
        {".hidden", false, 1, "\\tree\\"},   {"sub", true, 2, "\\tree\\"},
        {"empty", true, 0, "\\tree\\sub\\"}, {"c.txt", false, 5, "\\tree\\sub\\"},
    };
    for (const auto& e : expected) {
        const TFileListItem* item = Find(list, e.name);
        ASSERT_NE(item, nullptr) << e.name;
        EXPECT_EQ(item->IsFolder, e.folder ? 1 : 0) << e.name;
        EXPECT_EQ(item->Size, e.size) << e.name;
        EXPECT_EQ(item->FolderPath, e.folderPath) << e.name;
        EXPECT_EQ(item->DataLink, 0u) << e.name;
    }
}

TEST_F(FolderScan, FileTimeIsTheLastWriteInLocalTime) {
    const time_t stamp = 1700000000; // 2023-11-14 22:13:20 UTC
    const utimbuf times{stamp, stamp};
    ASSERT_EQ(utime((Root / "a.txt").c_str(), &times), 0);
    TTree list;
    ScanFolderTree(Root.string(), &list);
    const TFileListItem* item = Find(list, "a.txt");
    ASSERT_NE(item, nullptr);
    struct tm local {};
    localtime_r(&stamp, &local);
    EXPECT_EQ(item->Time.Year, local.tm_year + 1900);
    EXPECT_EQ(item->Time.Month, local.tm_mon + 1);
    EXPECT_EQ(item->Time.Day, local.tm_mday);
    EXPECT_EQ(item->Time.DayOfWeek, local.tm_wday);
    EXPECT_EQ(item->Time.Hour, local.tm_hour);
    EXPECT_EQ(item->Time.Minute, local.tm_min);
    EXPECT_EQ(item->Time.Second, local.tm_sec);
}

TEST_F(FolderScan, TrailingSlashAndRelativeRootGiveTheSameTree) {
    TTree plain;
    TTree slashed;
    EXPECT_EQ(ScanFolderTree(Root.string(), &plain), 316);
    EXPECT_EQ(ScanFolderTree(Root.string() + "/", &slashed), 316);
    EXPECT_EQ(Names(plain), Names(slashed));

    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(Root);
    TTree dot;
    EXPECT_EQ(ScanFolderTree(".", &dot), 316);
    std::filesystem::current_path(cwd);
    ASSERT_GT(dot.size(), 0u);
    EXPECT_EQ(dot[0].Name, "tree");
}

TEST_F(FolderScan, NothingToScanGivesZero) {
    EXPECT_EQ(ScanFolderTree(Root.string(), nullptr), 0);
    TTree list;
    list.push_back(Stale());
    EXPECT_EQ(ScanFolderTree((Root / "missing").string(), &list), 0);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(ScanFolderTree("", &list), 0);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(ScanFolderTree((Root / "a.txt").string(), &list), 0) << "a file is no folder";
    EXPECT_EQ(list.size(), 0u);
}

TEST_F(FolderScan, LinkLoopsEndAndSpecialFilesAreLeftOut) {
    std::filesystem::create_directory_symlink(Root, Root / "sub" / "loop");
    std::filesystem::create_symlink(Root / "gone", Root / "dangling");
    ASSERT_EQ(mkfifo((Root / "pipe").c_str(), 0600), 0);
    TTree list;
    EXPECT_EQ(ScanFolderTree(Root.string(), &list), 316);
    const TFileListItem* loop = Find(list, "loop");
    ASSERT_NE(loop, nullptr) << "the link is listed";
    EXPECT_EQ(loop->IsFolder, 1);
    EXPECT_EQ(loop->Size, 0) << "but not entered";
    EXPECT_EQ(Find(list, "dangling"), nullptr);
    EXPECT_EQ(Find(list, "pipe"), nullptr);
    EXPECT_EQ(list.size(), 8u);
}

} // namespace
