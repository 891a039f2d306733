#pragma once

#include <functional>
#include <string>

class TTransferUi;

// The name the rename of the overwrite question leads to for the target asked about: a bare
// name stays in the folder asked about, a name in that folder stays as typed, and a name that
// would leave it becomes its last component, made one safe file name, in that folder.
std::string RenamedTarget(const std::string& asked, const std::string& typed);

// What becomes of one target of a batch: written, skipped, or the batch stops.
enum class TTargetChoice { Write, Skip, Stop };

// The overwrite question of one batch, the same for downloads and uploads: a free name is
// written without a question; "overwrite all" and "skip all" answer every later existing
// target of the batch; a renamed target that exists too is asked about again.
class TOverwritePolicy {
public:
    // exists tells whether a name is taken on the target side. refusal, when given, names why
    // a name the rename chose can never be written (a folder of that name): the text is shown
    // and the question comes back for the name asked before.
    TOverwritePolicy(TTransferUi& ui, std::function<bool(const std::string&)> exists,
                     std::function<std::string(const std::string&)> refusal = {});

    // The choice for the target at name; after Write the name may be the one the rename chose
    // (only with renameAllowed).
    TTargetChoice Decide(std::string& name, bool renameAllowed);

private:
    TTransferUi& Ui;
    std::function<bool(const std::string&)> Exists;
    std::function<std::string(const std::string&)> Refusal;
    bool OverwriteAll = false;
    bool SkipAll = false;
};
