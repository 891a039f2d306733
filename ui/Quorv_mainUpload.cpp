// The main window's actions that change the recorder's content: copying PC files to the
// recorder, erasing the selected items and formatting the memory.

#include <algorithm>
#include <string>
#include <vector>

#include <QAction>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QTreeView>

#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/Quorv_main.h"
#include "ui/RecordList.h"

void TfrmQuorvMain::ConnectUploadActions() {
    connect(actCopyToRec, &QAction::triggered, this, [this] { actCopyToRecExecute(); });
    connect(actRecErase, &QAction::triggered, this, [this] { actRecEraseExecute(actRecErase); });
    connect(actFormat, &QAction::triggered, this, [this] { actFormatExecute(actFormat); });
}

QStringList TfrmQuorvMain::SelectedExplorerPaths() const {
    QStringList paths;
    QModelIndexList rows = ShellListView1->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        paths << ShellModel->filePath(index);
    return paths;
}

void TfrmQuorvMain::actCopyToRecExecute() {
    CopyToRecorder(SelectedExplorerPaths());
}

void TfrmQuorvMain::CopyToRecorder(const QStringList& paths) {
    if (Recorder == nullptr || paths.isEmpty() || IsBusy())
        return;
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(path.toStdString());
    RunOperation([&] {
        if (ViewFlag == 0)
            Transfers().UploadRecords(files);
        else
            Transfers().UploadDriveFiles(files, ShownDrvList->FilterPath());
    });
}

void TfrmQuorvMain::actRecEraseExecute(QObject* /*sender*/) {
    if (Recorder == nullptr || IsBusy())
        return;
    RunOperation([&] {
        if (ViewFlag == 0) {
            CollectSelectedRecords();
            Transfers().EraseRecords({SelRecords.begin(), SelRecords.end()});
            return;
        }
        CollectSelectedDriveFiles();
        std::vector<TFileListItem> selection;
        for (int i = 0; i < SelDrvList->Count(); ++i)
            selection.push_back(SelDrvList->Item(i));
        Transfers().EraseDriveFiles(selection, ShownDrvList->FilterPath());
    });
}

void TfrmQuorvMain::actFormatExecute(QObject* sender) {
    if (Recorder == nullptr || IsBusy())
        return;
    RunOperation([&] { Transfers().FormatMemory(sender != nullptr); });
}

bool TfrmQuorvMain::RecEraseAllowed() const {
    if (ViewFlag != 0)
        return !SelectedRows(lvDrvContent).empty();
    const std::vector<int> rows = SelectedRows(lvRecContent);
    if (rows.empty())
        return false;
    const TRecordItem* first = RecList->GetItem(rows.front());
    return first != nullptr && !first->IsVoicePart();
}
