// The main window's downloads: the five actions that copy or move the selection to the PC.

#include <QAction>
#include <QTreeView>

#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/Quorv_main.h"

void TfrmQuorvMain::ConnectDownloadActions() {
    // Unique connections: the update pass calls this every time.
    connect(actCopyToPC, &QAction::triggered, this, &TfrmQuorvMain::actCopyToPCExecute,
            Qt::UniqueConnection);
    connect(actMoveToPC, &QAction::triggered, this, &TfrmQuorvMain::actMoveToPCExecute,
            Qt::UniqueConnection);
    connect(actCopyToDefFolder, &QAction::triggered, this,
            &TfrmQuorvMain::actCopyToDefFolderExecute, Qt::UniqueConnection);
    connect(actMoveToDefFolder, &QAction::triggered, this,
            &TfrmQuorvMain::actMoveToDefFolderExecute, Qt::UniqueConnection);
    connect(actCopySelPart, &QAction::triggered, this, &TfrmQuorvMain::actCopySelPartExecute,
            Qt::UniqueConnection);
}

void TfrmQuorvMain::actCopyToPCExecute() {
    RunDownloadBatch(actCopyToPC);
}
void TfrmQuorvMain::actMoveToPCExecute() {
    RunDownloadBatch(actMoveToPC);
}
void TfrmQuorvMain::actCopyToDefFolderExecute() {
    RunDownloadBatch(actCopyToDefFolder);
}
void TfrmQuorvMain::actMoveToDefFolderExecute() {
    RunDownloadBatch(actMoveToDefFolder);
}
void TfrmQuorvMain::actCopySelPartExecute() {
    RunDownloadBatch(actCopySelPart);
}

void TfrmQuorvMain::actCopySelPartUpdate() {
    const std::vector<int> rows = SelectedRows(lvRecContent);
    const TRecordItem* item = rows.size() == 1 ? RecList->GetItem(rows.front()) : nullptr;
    actCopySelPart->setEnabled(Connected && Recorder != nullptr && !IsBusy() && ViewFlag == 0 &&
                               !ProgramOptions.DisableEditor && item != nullptr &&
                               !item->IsVoicePart());
}

void TfrmQuorvMain::CollectSelectedRecords() {
    SelRecords.clear();
    for (int row : SelectedRows(lvRecContent))
        if (TRecordItem* item = RecList->GetItem(row))
            SelRecords.push_back(item);
}

void TfrmQuorvMain::RunDownloadBatch(const QAction* sender) {
    if (Recorder == nullptr || !Connected || IsBusy())
        return;
    const bool toDefFolder = sender == actCopyToDefFolder || sender == actMoveToDefFolder;
    const bool move = sender == actMoveToPC || sender == actMoveToDefFolder;
    const std::string folder =
        (toDefFolder ? ProgramOptions.DefFolder : ExplorerFolder()).toStdString();
    RunOperation([&] {
        TTransferController transfers = Transfers();
        if (ViewFlag == 0) {
            CollectSelectedRecords();
            const std::vector<TCustomSoundFileInfo*> records(SelRecords.begin(), SelRecords.end());
            transfers.DownloadRecords(records, folder,
                                      sender == actCopySelPart ? TDownloadKind::SelectedPart
                                      : move                   ? TDownloadKind::Move
                                                               : TDownloadKind::Copy);
            RecModel->Repaint();
        } else {
            CollectSelectedDriveFiles();
            std::vector<TFileListItem> selection;
            for (int i = 0; i < SelDrvList->Count(); ++i)
                selection.push_back(SelDrvList->Item(i));
            transfers.DownloadDriveFiles(selection, ShownDrvList->FilterPath(), folder, move);
        }
    });
}
