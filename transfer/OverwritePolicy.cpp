#include "transfer/OverwritePolicy.h"

#include <utility>

#include "platform/PosixFile.h"
#include "transfer/FileNameMask.h"
#include "transfer/MessageCodes.h"
#include "transfer/TransferUi.h"

std::string RenamedTarget(const std::string& asked, const std::string& typed) {
    const std::string folder = FolderOf(asked);
    if (typed.find('/') == std::string::npos)
        return JoinPath(folder, typed);
    if (FolderOf(typed) == folder)
        return typed;
    return JoinPath(folder, SanitizeFileName(typed.substr(typed.rfind('/') + 1)));
}

TOverwritePolicy::TOverwritePolicy(TTransferUi& ui, std::function<bool(const std::string&)> exists,
                                   std::function<std::string(const std::string&)> refusal)
    : Ui(ui), Exists(std::move(exists)), Refusal(std::move(refusal)) {}

TTargetChoice TOverwritePolicy::Decide(std::string& name, bool renameAllowed) {
    if (!Exists(name) || OverwriteAll)
        return TTargetChoice::Write;
    if (SkipAll)
        return TTargetChoice::Skip;
    for (;;) {
        const std::string asked = name;
        const int answer = Ui.AskOverwrite(name, renameAllowed);
        if (!renameAllowed)
            name = asked;
        switch (answer) {
        case mrOverwrite:
            break;
        case mrOverwriteAll:
            OverwriteAll = true;
            return TTargetChoice::Write;
        case mrSkipAll:
            SkipAll = true;
            return TTargetChoice::Skip;
        case mrCancelBatch:
            return TTargetChoice::Stop;
        default:
            return TTargetChoice::Skip;
        }
        if (name == asked || !Exists(name))
            return TTargetChoice::Write;
        // The renamed target is taken too: asked about as any existing one, or, when it can
        // never be written, the question comes back for the name asked before.
        if (Refusal) {
            if (const std::string refusal = Refusal(name); !refusal.empty()) {
                Ui.ShowMessage(refusal, MB_OK);
                name = asked;
            }
        }
    }
}
