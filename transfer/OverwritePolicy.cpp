#include "transfer/OverwritePolicy.h"

#include <utility>

#include "transfer/FileNameMask.h"
#include "transfer/MessageCodes.h"
#include "transfer/TransferUi.h"

namespace {

// A path's folder as the window's file dialogs read it: "." for a bare name, "/" right below
// the root, otherwise everything before the last "/" as written.
std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameIn(std::string folder, const std::string& name) {
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (name.empty())
        return folder;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

std::string RenamedTarget(const std::string& asked, const std::string& typed) {
    const std::string folder = FolderPart(asked);
    if (typed.find('/') == std::string::npos)
        return NameIn(folder, typed);
    if (FolderPart(typed) == folder)
        return typed;
    return NameIn(folder, SanitizeFileName(typed.substr(typed.rfind('/') + 1)));
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
