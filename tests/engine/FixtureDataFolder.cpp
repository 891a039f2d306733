// Every recorder of the engine tests keeps its copies of blocks in a folder of the test's own,
// never in the user's data folder; the folder goes with the test.
#include <gtest/gtest.h>

#include "engine/RecClassesJournal.h"
#include "tests/support/TempDir.h"

namespace {

class TDataFolderEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Folder = std::make_unique<testsupport::TTempDir>();
        SetRecorderDataFolder(Folder->Path.string());
    }
    void TearDown() override {
        SetRecorderDataFolder("");
        Folder.reset();
    }

private:
    std::unique_ptr<testsupport::TTempDir> Folder;
};

[[maybe_unused]] ::testing::Environment* const DataFolder =
    ::testing::AddGlobalTestEnvironment(new TDataFolderEnvironment);

} // namespace
