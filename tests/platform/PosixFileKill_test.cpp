#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/PosixFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

// A child process writes new files beside the user's and commits them, and is killed at
// each of its file calls in turn: afterwards each of the user's names holds its old or its
// new complete file, and once the next run has cleaned the folder no temporary is left.

namespace {

struct TKillCase {
    const char* Name;
    // Calls that fail in the child as on a file system without them.
    std::map<std::string, int> Missing;
    // False where the file system leaves no way to keep the name filled at every instant:
    // there the name is whole again once the next run has cleaned the folder.
    bool WholeAtEveryInstant;
};

// The child's state; set before the fork, read by its hook.
int StepsLeft = 0;
const std::map<std::string, int>* MissingCalls = nullptr;

int KillingHook(const char* call) {
    if (--StepsLeft == 0)
        ::raise(SIGKILL);
    const auto missing = MissingCalls->find(call);
    return missing != MissingCalls->end() ? missing->second : 0;
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string OldText(const std::string& name) {
    return "old " + name + std::string(300, 'o');
}

std::string NewText(const std::string& name) {
    return "new " + name + std::string(500, 'n');
}

// What a download does: each file written in pieces as a temporary, then all committed.
[[noreturn]] void CommitInChild(const testsupport::TTempDir& dir,
                                const std::vector<std::string>& names) {
    std::vector<TPendingFile> pending;
    std::vector<TPosixFile> files(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string target = dir.File(names[i]);
        const std::string temp = MakeTemporaryName(target);
        TPosixFile& file = files[i];
        const std::string text = NewText(names[i]);
        if (!file.Open(temp, TPosixFile::TMode::CreateTemporary))
            ::_exit(2);
        for (std::size_t at = 0; at < text.size(); at += 200)
            if (!file.WriteExact(at, text.data() + at,
                                 std::min<std::size_t>(200, text.size() - at)))
                ::_exit(3);
        if (!file.Sync() || !file.Publish())
            ::_exit(4);
        file.Close();
        pending.push_back({temp, target});
    }
    ::_exit(CommitFiles(pending) ? 0 : 5);
}

class PosixFileKill : public ::testing::TestWithParam<TKillCase> {};

TEST_P(PosixFileKill, EveryNameHoldsAWholeFileAndNoTemporaryOutlivesTheNextRun) {
    const TKillCase& test = GetParam();
    testsupport::TTempDir dir;
    // Two names hold the user's files, the third is new.
    const std::vector<std::string> names = {"1.wav", "2.wav", "3.wav"};
    const std::set<std::string> existing = {"1.wav", "2.wav"};
    bool finished = false;
    int killed = 0;
    for (int killAt = 1; !finished && killAt < 1000; ++killAt) {
        for (const std::string& name : names) {
            std::filesystem::remove(dir.File(name));
            if (existing.count(name) != 0)
                WriteAll(dir.File(name), OldText(name));
        }
        StepsLeft = killAt;
        MissingCalls = &test.Missing;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0) << std::strerror(errno);
        if (child == 0) {
            SetFileStepHook(KillingHook);
            CommitInChild(dir, names);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "the commit failed at step " << killAt;
            finished = true;
        } else {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            ++killed;
        }
        const auto expectWhole = [&](const char* when) {
            for (const std::string& name : names) {
                const std::string path = dir.File(name);
                const bool wasThere = existing.count(name) != 0;
                if (!std::filesystem::exists(path)) {
                    EXPECT_FALSE(wasThere)
                        << name << " missing " << when << ", kill at step " << killAt;
                    continue;
                }
                const std::string text = testsupport::ReadFileBytes(path);
                EXPECT_TRUE(text == NewText(name) || (wasThere && text == OldText(name)))
                    << name << " holds neither file " << when << ", kill at step " << killAt;
                if (finished) {
                    EXPECT_EQ(text, NewText(name)) << name;
                }
            }
        };
        if (test.WholeAtEveryInstant)
            expectWhole("after the kill");
        RemoveStaleTemporaries(dir.Path.string());
        expectWhole("after the next run");
        for (const std::string& entry : Entries(dir.Path))
            EXPECT_NE(std::find(names.begin(), names.end(), entry), names.end())
                << entry << " left over, kill at step " << killAt;
    }
    EXPECT_TRUE(finished);
    EXPECT_GT(killed, 10);
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems, PosixFileKill,
    ::testing::Values(TKillCase{"Exchange", {}, true},
                      TKillCase{"NoUnnamedFiles", {{"open_tmpfile", EOPNOTSUPP}}, true},
                      TKillCase{"NoExchange", {{"renameat2", EINVAL}}, true},
                      TKillCase{"NoExchangeNorLinks",
                                {{"renameat2", EINVAL}, {"link", EPERM}, {"open_tmpfile", EISDIR}},
                                false}),
    [](const ::testing::TestParamInfo<TKillCase>& info) { return info.param.Name; });

TEST(RemoveStaleTemporaries, KeepsWhatLiveRunsAndTheUserOwn) {
    testsupport::TTempDir dir;
    const std::string self = std::to_string(::getpid());
    // A process id that no process has: the highest the kernel can give, plus one.
    const std::string gone = "4194305";
    const struct {
        const char* Name;
        bool Stays;
        const char* Becomes;
    } cases[] = {
        {"a.wav", true, nullptr},
        {"a.wav.tmp~", true, nullptr},
        {"a.wav.tmp~x_1", true, nullptr},
        {"b.wav.tmp~SELF_1", true, nullptr},
        {"c.wav.tmp~GONE_3", false, nullptr},
        {"c.wav.tmp~GONE", false, nullptr},
        {"d.wav.old~GONE_1", false, "d.wav"},
        {"a.wav.old~GONE_2", false, nullptr},
    };
    const auto real = [&](std::string name) {
        for (const auto& [from, to] : {std::pair{std::string("SELF"), self}, {"GONE", gone}})
            if (const auto at = name.find(from); at != std::string::npos)
                name.replace(at, from.size(), to);
        return name;
    };
    for (const auto& c : cases)
        WriteAll(dir.File(real(c.Name)), c.Name);
    RemoveStaleTemporaries(dir.Path.string());
    const std::set<std::string> left = Entries(dir.Path);
    for (const auto& c : cases) {
        EXPECT_EQ(left.count(real(c.Name)) != 0, c.Stays) << c.Name;
        if (c.Becomes != nullptr) {
            EXPECT_EQ(testsupport::ReadFileBytes(dir.File(c.Becomes)), c.Name);
        }
    }
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("a.wav")), "a.wav");
}

} // namespace

namespace {

const std::map<std::string, int>* FailingCalls = nullptr;

int FailingHook(const char* call) {
    const auto failing = FailingCalls->find(call);
    return failing != FailingCalls->end() ? failing->second : 0;
}

TEST(PlaceNewFile, TakesOnlyAFreeNameOnEveryFileSystem) {
    const struct {
        const char* Name;
        std::map<std::string, int> Missing;
    } fileSystems[] = {
        {"noReplace", {}},
        {"links", {{"renameat2", EINVAL}}},
        {"neither", {{"renameat2", EINVAL}, {"link", EPERM}}},
    };
    for (const auto& fs : fileSystems) {
        SCOPED_TRACE(fs.Name);
        testsupport::TTempDir dir;
        const std::string target = dir.File("Quorvex.set");
        FailingCalls = &fs.Missing;
        SetFileStepHook(FailingHook);
        WriteAll(dir.File("first"), "new");
        EXPECT_TRUE(PlaceNewFile(dir.File("first"), target));
        WriteAll(dir.File("second"), "newer");
        EXPECT_FALSE(PlaceNewFile(dir.File("second"), target));
        EXPECT_EQ(errno, EEXIST);
        SetFileStepHook(nullptr);
        EXPECT_EQ(testsupport::ReadFileBytes(target), "new");
        EXPECT_EQ(testsupport::ReadFileBytes(dir.File("second")), "newer");
        EXPECT_EQ(Entries(dir.Path), (std::set<std::string>{"Quorvex.set", "second"}));
    }
}

} // namespace
