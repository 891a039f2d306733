#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>

#include "platform/Trash.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

// XDG_DATA_HOME for one test, put back afterwards.
class TDataHome {
public:
    explicit TDataHome(const std::string& path) {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            Old = old, HadOld = true;
        ::setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~TDataHome() {
        if (HadOld)
            ::setenv("XDG_DATA_HOME", Old.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

private:
    std::string Old;
    bool HadOld = false;
};

TEST(Trash, FilesAndFoldersGoToAHomeTrashMadePrivateWhenMissing) {
    testsupport::TTempDir dir;
    const std::filesystem::path data = dir.Path / "no such" / "share";
    TDataHome home(data.string());
    EXPECT_EQ(HomeTrashFolder(), (data / "Trash").string());
    std::filesystem::create_directories(dir.Path / "work" / "folder");
    std::ofstream(dir.Path / "work" / "folder" / "inside.txt") << "inside";
    const struct {
        const char* Name;
        const char* Text; // nullptr: the folder
        const char* TrashedAs;
        const char* EncodedPath;
    } cases[] = {
        {"a b%.wav", "first", "a b%.wav", "a%20b%25.wav"},
        {"a b%.wav", "second", "a b%.2.wav", "a%20b%25.wav"},
        {"Zähler", "third", "Zähler", "Z%C3%A4hler"},
        {"folder", nullptr, "folder", "folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::filesystem::path path = dir.Path / "work" / c.Name;
        if (c.Text != nullptr)
            std::ofstream(path) << c.Text;
        int error = 0;
        ASSERT_TRUE(MoveToTrash(path.string(), &error)) << error;
        EXPECT_FALSE(std::filesystem::exists(path));
        const std::filesystem::path trashed = data / "Trash" / "files" / c.TrashedAs;
        if (c.Text != nullptr)
            EXPECT_EQ(testsupport::ReadFileBytes(trashed), c.Text);
        else
            EXPECT_EQ(testsupport::ReadFileBytes(trashed / "inside.txt"), "inside");
        const std::string info = testsupport::ReadFileBytes(
            data / "Trash" / "info" / (std::string(c.TrashedAs) + ".trashinfo"));
        const std::string work = (dir.Path / "work").string();
        EXPECT_EQ(
            info.rfind("[Trash Info]\nPath=" + work + "/" + c.EncodedPath + "\nDeletionDate=", 0),
            0u)
            << info;
        // DeletionDate=YYYY-MM-DDThh:mm:ss and a line end.
        const std::size_t date = info.find("DeletionDate=") + 13;
        ASSERT_EQ(info.size(), date + 20);
        EXPECT_EQ(info[date + 4], '-');
        EXPECT_EQ(info[date + 10], 'T');
        EXPECT_EQ(info.back(), '\n');
    }
    for (const char* folder : {"Trash", "Trash/files", "Trash/info"}) {
        struct stat st {};
        ASSERT_EQ(::stat((data / folder).c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
}

TEST(Trash, WithoutAnyTrashTheFileStaysAndTheReasonIsGiven) {
    testsupport::TTempDir dir;
    std::ofstream(dir.Path / "plain") << "a file where the data folder would be";
    TDataHome home((dir.Path / "plain" / "share").string());
    const std::filesystem::path path = dir.Path / "keep.wav";
    std::ofstream(path) << "kept";
    int error = 0;
    EXPECT_FALSE(MoveToTrash(path.string(), &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(testsupport::ReadFileBytes(path), "kept");
    int missing = 0;
    EXPECT_FALSE(MoveToTrash((dir.Path / "not there").string(), &missing));
    EXPECT_EQ(missing, ENOENT);
}

} // namespace
