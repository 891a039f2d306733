// The path helpers beside the file class: one folder rule for every caller.
#include <gtest/gtest.h>
#include <string>

#include "platform/PosixFile.h"
#include "tests/support/TempDir.h"

namespace {

TEST(PosixPaths, FolderOfAndJoinPath) {
    struct TCase {
        const char* Path;
        const char* Folder;
    };
    const TCase folders[] = {
        {"/home/user/a.wav", "/home/user"}, {"/a.wav", "/"}, {"a.wav", "."}, {"sub/a.wav", "sub"}};
    for (const TCase& c : folders)
        EXPECT_EQ(FolderOf(c.Path), c.Folder) << c.Path;
    EXPECT_EQ(JoinPath("/home/user", "a.wav"), "/home/user/a.wav");
    EXPECT_EQ(JoinPath("/home/user/", "a.wav"), "/home/user/a.wav");
    EXPECT_EQ(JoinPath("/", "a.wav"), "/a.wav");
    EXPECT_EQ(JoinPath(FolderOf("/x/y/z.txt"), "w.txt"), "/x/y/w.txt");
}

TEST(PosixPaths, IsDirectoryOnlyForAFolder) {
    testsupport::TTempDir temp;
    const std::string file = temp.File("plain.txt");
    TPosixFile out;
    ASSERT_TRUE(out.Open(file, TPosixFile::TMode::CreateTruncate));
    out.Close();
    EXPECT_TRUE(IsDirectory(temp.Path.string()));
    EXPECT_FALSE(IsDirectory(file));
    EXPECT_FALSE(IsDirectory(temp.File("missing")));
}

} // namespace
