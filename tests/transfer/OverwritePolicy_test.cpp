#include <deque>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "transfer/MessageCodes.h"
#include "transfer/OverwritePolicy.h"
#include "transfer/TransferUi.h"

namespace {

// The overwrite question answered from a script: an answer, and for mrOverwrite the name the
// rename chose ("" for none).
struct TAnswer {
    int Answer;
    const char* RenameTo = "";
};

class TAnsweringUi : public TTransferUi {
public:
    void ShowProgress(const std::string&, bool) override {}
    void SetProgressText(const std::string&) override {}
    void SetProgress(int) override {}
    void ProcessEvents() override {}
    bool CancelRequested() override { return false; }
    void ClearCancel() override {}
    int AskOverwrite(std::string& fileName, bool) override {
        Asked.push_back(fileName);
        if (Answers.empty()) {
            ++Unexpected;
            return mrCancelBatch;
        }
        const TAnswer answer = Answers.front();
        Answers.pop_front();
        if (answer.Answer == mrOverwrite && *answer.RenameTo != '\0')
            fileName = answer.RenameTo;
        return answer.Answer;
    }
    bool SelectRecordPart(std::uint32_t&, std::uint32_t&, std::uint64_t) override {
        ++Unexpected;
        return false;
    }
    int ShowMessage(const std::string& text, unsigned) override {
        Messages.push_back(text);
        return IDOK;
    }
    void ShowExchangeError(const TERecXchange&) override { ++Unexpected; }
    void ListsChanging() override {}
    void ListsChanged() override {}

    std::deque<TAnswer> Answers;
    std::vector<std::string> Asked;
    std::vector<std::string> Messages;
    int Unexpected = 0;
};

using TNames = std::vector<std::string>;
using TChoices = std::vector<TTargetChoice>;
constexpr auto Write = TTargetChoice::Write;
constexpr auto Skip = TTargetChoice::Skip;
constexpr auto Stop = TTargetChoice::Stop;

struct TPolicyCase {
    const char* Name;
    TNames Targets; // decided one after the other in one batch
    bool RenameAllowed;
    std::vector<TAnswer> Answers;
    TChoices Choices;
    TNames Written; // the names the written targets have afterwards
    TNames Asked = {};
    TNames Messages = {};
};

// "a", "b", "c" are taken, "dir" is a folder; every other name is free.
class OverwritePolicy : public ::testing::TestWithParam<TPolicyCase> {};

TEST_P(OverwritePolicy, AnswersTheBatchsTargets) {
    const TPolicyCase& c = GetParam();
    const std::set<std::string> taken = {"a", "b", "c", "dir"};
    TAnsweringUi ui;
    ui.Answers.assign(c.Answers.begin(), c.Answers.end());
    TOverwritePolicy policy(
        ui, [&taken](const std::string& name) { return taken.count(name) != 0; },
        [](const std::string& name) { return name == "dir" ? "a folder: " + name : ""; });
    TChoices choices;
    TNames written;
    for (std::string name : c.Targets) {
        choices.push_back(policy.Decide(name, c.RenameAllowed));
        if (choices.back() == Write)
            written.push_back(name);
    }
    EXPECT_EQ(choices, c.Choices);
    EXPECT_EQ(written, c.Written);
    EXPECT_EQ(ui.Asked, c.Asked);
    EXPECT_EQ(ui.Messages, c.Messages);
    EXPECT_TRUE(ui.Answers.empty()) << "every scripted answer is used";
    EXPECT_EQ(ui.Unexpected, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwritePolicy,
    ::testing::Values(
        TPolicyCase{"FreeNamesAreNotAsked", {"x", "y"}, true, {}, {Write, Write}, {"x", "y"}},
        TPolicyCase{"Overwrite",
                    {"a", "b"},
                    true,
                    {{mrOverwrite}, {mrOverwrite}},
                    {Write, Write},
                    {"a", "b"},
                    {"a", "b"}},
        TPolicyCase{"OverwriteAllHoldsPastAFreeName",
                    {"a", "x", "b", "c"},
                    true,
                    {{mrOverwriteAll}},
                    {Write, Write, Write, Write},
                    {"a", "x", "b", "c"},
                    {"a"}},
        TPolicyCase{
            "Skip", {"a", "b"}, true, {{mrSkip}, {mrOverwrite}}, {Skip, Write}, {"b"}, {"a", "b"}},
        TPolicyCase{"SkipAllHoldsPastAFreeName",
                    {"a", "x", "b", "c"},
                    true,
                    {{mrSkipAll}},
                    {Skip, Write, Skip, Skip},
                    {"x"},
                    {"a"}},
        TPolicyCase{
            "RenameToAFreeName", {"a"}, true, {{mrOverwrite, "new"}}, {Write}, {"new"}, {"a"}},
        TPolicyCase{"RenameOntoAnExistingNameAsksAgain",
                    {"a", "b"},
                    true,
                    {{mrOverwrite, "c"}, {mrOverwrite}, {mrOverwrite, "a"}, {mrSkip}},
                    {Write, Skip},
                    {"c"},
                    {"a", "c", "b", "a"}},
        TPolicyCase{"RenameOntoAFolderAsksAgainForTheNameBefore",
                    {"a"},
                    true,
                    {{mrOverwrite, "dir"}, {mrOverwrite, "new"}},
                    {Write},
                    {"new"},
                    {"a", "a"},
                    {"a folder: dir"}},
        TPolicyCase{"NoRenameWhereNoneIsOffered",
                    {"a"},
                    false,
                    {{mrOverwrite, "new"}},
                    {Write},
                    {"a"},
                    {"a"}},
        TPolicyCase{"Cancel", {"a"}, true, {{mrCancelBatch}}, {Stop}, {}, {"a"}}),
    [](const ::testing::TestParamInfo<TPolicyCase>& info) { return info.param.Name; });

// The rename's answer, whatever was typed, names a file in the folder asked about.
TEST(RenamedTarget, StaysInTheFolderAskedAbout) {
    struct TCase {
        const char* Name;
        const char* Asked;
        const char* Typed;
        const char* Target;
    };
    const TCase cases[] = {
        {"bareName", "/out/rec_1.wav", "new.wav", "/out/new.wav"},
        {"inTheFolder", "/out/rec_1.wav", "/out/new.wav", "/out/new.wav"},
        {"upAndOut", "/out/rec_1.wav", "/out/../up.wav", "/out/up.wav"},
        {"relativeUp", "/out/rec_1.wav", "../up.wav", "/out/up.wav"},
        {"anotherFolder", "/out/rec_1.wav", "/elsewhere/n.wav", "/out/n.wav"},
        {"belowTheFolder", "/out/rec_1.wav", "sub/n.wav", "/out/n.wav"},
        {"sameFolderWrittenOtherwise", "/out/rec_1.wav", "/out/./n.wav", "/out/n.wav"},
        // The folder itself, as typed: the question refuses it as a folder and asks again.
        {"theFolderItself", "/out/rec_1.wav", "/out/", "/out/"},
        {"dotsOnly", "/out/rec_1.wav", "/x/..", "/out/_.."},
        {"backslashIsAName", "/out/rec_1.wav", "a\\b.wav", "/out/a\\b.wav"},
        // Not a resource path: a leading ":" is a name like any other.
        {"colon", "/out/rec_1.wav", ":c.wav", "/out/:c.wav"},
        {"colonElsewhere", "/out/rec_1.wav", "/x/:c.wav", "/out/:c.wav"},
        {"belowTheRoot", "/rec.wav", "new.wav", "/new.wav"},
        {"belowTheRootElsewhere", "/rec.wav", "/x/new.wav", "/new.wav"},
        {"doubledSlash", "/a//rec.wav", "new.wav", "/a/new.wav"},
        {"askedBare", "rec.wav", "new.wav", "./new.wav"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(RenamedTarget(c.Asked, c.Typed), c.Target) << c.Name;
}

} // namespace
