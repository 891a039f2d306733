// The main window's recorder views: filling the records and flash-drive lists, sorting by
// column, the location combo, the keys of both lists, the refresh action and the update
// handlers of the actions that concern the views.

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "audio/Wavefunc.h"
#include "engine/RecClassesLists.h"
#include "engine/Recinterface.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "platform/Trash.h"
#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/Quorv_main.h"
#include "ui/RecordList.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

constexpr int LocationIndentRole = Qt::UserRole + 1;
constexpr int LocationCaptionRole = Qt::UserRole + 2;

// A drive file's name split at its last "\" into folder path and file name; the path always
// begins and ends with "\".
void SplitDriveName(const std::string& fullName, std::string& folderPath, std::string& name) {
    const std::size_t slash = fullName.rfind('\\');
    if (slash == std::string::npos) {
        folderPath = "\\";
        name = fullName;
        return;
    }
    folderPath = fullName.substr(0, slash + 1);
    if (folderPath.front() != '\\')
        folderPath.insert(folderPath.begin(), '\\');
    name = fullName.substr(slash + 1);
}

// The records view's entries in the order shown.
std::vector<TCustomSoundFileInfo*> ShownEntries(TRecordList& list) {
    std::vector<TCustomSoundFileInfo*> entries;
    for (int row = 0; row < list.Count(); ++row)
        entries.push_back(list.GetItem(row));
    return entries;
}

Qt::SortOrder Order(bool ascending) {
    return ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace

void TfrmQuorvMain::ConnectRecorderViews() {
    ConnectUploadActions();
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(lvRecContent),
                                    static_cast<QAbstractItemView*>(lvDrvContent),
                                    static_cast<QAbstractItemView*>(ShellListView1),
                                    static_cast<QAbstractItemView*>(ShellIconView1)}) {
        view->setDragEnabled(true);
        view->setDragDropMode(QAbstractItemView::DragDrop);
        view->setDefaultDropAction(Qt::CopyAction);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
    for (QTreeView* view : {lvRecContent, lvDrvContent}) {
        view->installEventFilter(this);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& position) { lvContentContextMenu(view, position); });
    }
    connect(lvRecContent->header(), &QHeaderView::sectionClicked, this,
            &TfrmQuorvMain::lvRecContentColumnClick);
    connect(lvDrvContent->header(), &QHeaderView::sectionClicked, this,
            &TfrmQuorvMain::lvDrvContentColumnClick);
    connect(lvDrvContent, &QTreeView::doubleClicked, this,
            [this](const QModelIndex&) { OpenSelectedDriveFolder(); });
    connect(cbexRecLocation, &QComboBox::activated, this, &TfrmQuorvMain::cbexRecLocationChange);
    actConnect->setEnabled(false);
    actDisconnect->setEnabled(false);
}

void TfrmQuorvMain::lvContentContextMenu(QTreeView* view, const QPoint& position) {
    if (view->indexAt(position).isValid())
        PopupMenu2->popup(view->viewport()->mapToGlobal(position));
}

bool TfrmQuorvMain::eventFilter(QObject* watched, QEvent* event) {
    if (FocusEventFilter(watched, event))
        return true;
    if (event->type() == QEvent::KeyPress && (watched == lvRecContent || watched == lvDrvContent)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool consumed = watched == lvRecContent
                                  ? lvRecContentKeyDown(key->key(), key->modifiers())
                                  : lvDrvContentKeyDown(key->key(), key->modifiers());
        if (consumed)
            return true;
    }
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        QObject* target = watched->parent(); // the view whose viewport it is
        if (!DropAccepted(target, drop->source())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop) {
            const bool toRecorder = target == lvRecContent || target == lvDrvContent;
            (toRecorder ? actCopyToRec : actCopyToPC)->trigger();
        }
        return true;
    }
    if (event->type() == QEvent::Resize && (watched == pnlStatus || watched == mainPanel))
        pnlStatusResize();
    return QMainWindow::eventFilter(watched, event);
}

void TfrmQuorvMain::FillRecordList() {
    RecList->Clear();
    TSoundFileList* records = Recorder ? Recorder->GetSoundFileList() : nullptr;
    const bool showParts = ProgramOptions.ShowVoiceParts;
    for (int i = 0; records != nullptr && i < records->Count(); ++i) {
        TSoundFileInfo* record = records->Get(i);
        auto item = std::make_unique<TRecordItem>();
        item->Assign(*record);
        item->ShowVoiceParts = showParts;
        RecList->Add(std::move(item));
        if (!showParts || record->VoiceParts == nullptr)
            continue;
        for (int p = 0; p < record->VoiceParts->Count(); ++p) {
            auto part = std::make_unique<TRecordItem>();
            part->Assign(*record->VoiceParts->Get(p));
            part->Parent = record; // a part sorts with its record whatever the scan set
            part->ShowVoiceParts = showParts;
            RecList->Add(std::move(part));
        }
    }
    RecList->Sort();
    RecModel->SetRowCount(RecList->Count());
    FitTextsToLanguage(); // the status texts of the language may need a wider column
}

void TfrmQuorvMain::FillDriveList() {
    DrvList->Clear();
    TDriveFileList* files = Recorder ? Recorder->GetDriveFileList() : nullptr;
    for (int i = 0; files != nullptr && i < files->Count(); ++i) {
        const TDriveFileInfo& file = *files->Get(i);
        TFileListItem entry;
        SplitDriveName(file.Name, entry.FolderPath, entry.Name);
        entry.Size = file.Size;
        entry.Time = file.Date;
        entry.IsFolder = file.Folder != 0 ? 1 : 0;
        entry.DataLink = static_cast<std::uint32_t>(i) + 1; // index in the recorder's list + 1
        DrvList->AddCopy(entry);
    }
    ShownDrvList->SetSourceList(DrvList.get());
    ShownDrvList->Refresh();
    ShownDrvList->Sort();
    DrvModel->SetRowCount(ShownDrvList->Count());
    if (ShownDrvList->Count() > 0)
        lvDrvContent->setCurrentIndex(DrvModel->index(0, 0));
    lvDrvContent->clearSelection();
}

void TfrmQuorvMain::FillLocationCombo() {
    LocationFillGuard = true;
    cbexRecLocation->clear();
    auto add = [this](QStyle::StandardPixmap icon, const QString& caption, int indent) {
        cbexRecLocation->addItem(style()->standardIcon(icon),
                                 QString(indent * 3, QLatin1Char(' ')) + caption);
        const int index = cbexRecLocation->count() - 1;
        cbexRecLocation->setItemData(index, indent, LocationIndentRole);
        cbexRecLocation->setItemData(index, caption, LocationCaptionRole);
    };
    // The views' names are the captions of their actions, in the current language.
    if (ViewFlag == 0) {
        add(QStyle::SP_FileDialogDetailedView, actShowRec->text(), 0);
    } else {
        add(QStyle::SP_DriveHDIcon, actShowDrv->text(), 0);
        const std::string path = TrimBackslashes(ShownDrvList->FilterPath());
        if (!path.empty()) {
            const QStringList pieces = QString::fromStdString(path).split(QLatin1Char('\\'));
            for (int k = 0; k < pieces.size(); ++k)
                add(QStyle::SP_DirIcon, pieces.at(k), k + 1);
        }
    }
    cbexRecLocation->setCurrentIndex(cbexRecLocation->count() - 1);
    LocationFillGuard = false;
}

void TfrmQuorvMain::cbexRecLocationChange(int index) {
    if (LocationFillGuard || ViewFlag == 0 || index < 0)
        return;
    const int indent = cbexRecLocation->itemData(index, LocationIndentRole).toInt();
    std::string path;
    for (int k = 1; k <= indent && k < cbexRecLocation->count(); ++k)
        path += "\\" + cbexRecLocation->itemData(k, LocationCaptionRole).toString().toStdString();
    ShownDrvList->SetFilterPath(path);
    lvDrvContent->clearSelection();
    DrvModel->SetRowCount(ShownDrvList->Count());
    FillLocationCombo();
}

void TfrmQuorvMain::OpenSelectedDriveFolder() {
    const QModelIndex current = lvDrvContent->currentIndex();
    const int row = current.row();
    if (!current.isValid() || row >= ShownDrvList->Count() ||
        !lvDrvContent->selectionModel()->isRowSelected(row, QModelIndex()))
        return;
    const TFileListItem& entry = ShownDrvList->Item(row);
    if (!entry.IsFolder)
        return;
    const std::string path = ShownDrvList->FilterPath() + entry.Name + "\\";
    ShownDrvList->SetFilterPath(path);
    lvDrvContent->clearSelection();
    DrvModel->SetRowCount(ShownDrvList->Count());
    if (ShownDrvList->Count() > 0)
        lvDrvContent->setCurrentIndex(DrvModel->index(0, 0));
    lvDrvContent->clearSelection();
    FillLocationCombo();
}

void TfrmQuorvMain::actDrvLevelUpExecute() {
    ShownDrvList->LevelUp();
    lvDrvContent->clearSelection();
    DrvModel->SetRowCount(ShownDrvList->Count());
    FillLocationCombo();
}

std::vector<int> TfrmQuorvMain::SelectedRows(const QTreeView* view) const {
    std::vector<int> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmQuorvMain::SelectRows(QTreeView* view, const std::vector<int>& rows) {
    QItemSelection selection;
    const int lastColumn = view->model()->columnCount() - 1;
    for (int row : rows)
        selection.select(view->model()->index(row, 0), view->model()->index(row, lastColumn));
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TfrmQuorvMain::CollectSelectedDriveFiles() {
    SelDrvList->Clear();
    for (int row : SelectedRows(lvDrvContent)) {
        if (row >= ShownDrvList->Count())
            continue;
        const TFileListItem& entry = ShownDrvList->Item(row);
        SelDrvList->AddCopy(entry);
        if (!entry.IsFolder)
            continue;
        TFilteredFileList below;
        below.SetSubtree(true);
        below.SetSourceList(DrvList.get());
        below.SetFilterPath(ShownDrvList->FilterPath() + entry.Name + "\\");
        const std::string prefix = entry.FolderPath + entry.Name + "\\";
        for (int i = 0; i < below.Count(); ++i) {
            TFileListItem inner = below.Item(i);
            // The inner path begins with "\" itself: join without doubling it.
            const std::string& own = inner.FolderPath;
            inner.FolderPath = prefix + (own.empty() || own.front() != '\\' ? own : own.substr(1));
            SelDrvList->AddCopy(inner);
        }
    }
    SelDrvList->Sort();
}

void TfrmQuorvMain::lvRecContentColumnClick(int column) {
    QHeaderView* header = lvRecContent->header();
    if (column < 0) {
        RecList->SetSortMode(RecSortByNumber);
        RecList->SetAscending(true);
        column = 0;
    } else {
        const std::uint32_t mode = column <= 3 ? static_cast<std::uint32_t>(column) + 1 : 0;
        if (mode == RecList->SortMode())
            RecList->SetAscending(!RecList->Ascending());
        else
            RecList->SetSortMode(mode);
    }
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, Order(RecList->Ascending()));
    RecList->Sort();
    RecModel->Repaint();
}

void TfrmQuorvMain::lvDrvContentColumnClick(int column) {
    const std::int32_t mode = column == 0   ? FileSortByName
                              : column == 1 ? FileSortBySize
                              : column == 2 ? FileSortByTime
                                            : FileSortNone;
    if (mode == ShownDrvList->SortMode())
        ShownDrvList->SetAscending(!ShownDrvList->Ascending());
    else
        ShownDrvList->SetSortMode(mode);
    lvDrvContent->header()->setSortIndicatorShown(true);
    lvDrvContent->header()->setSortIndicator(column, Order(ShownDrvList->Ascending()));
    DrvModel->Repaint();
}

bool TfrmQuorvMain::lvRecContentKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const bool ctrlOnly = (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier;
    if (ctrlOnly && key == Qt::Key_A) {
        const std::vector<int> selected = SelectedRows(lvRecContent);
        const TRecordItem* first = selected.empty() ? nullptr : RecList->GetItem(selected.front());
        std::vector<int> rows;
        for (int row = 0; row < RecList->Count(); ++row) {
            const TRecordItem* item = RecList->GetItem(row);
            if (first != nullptr && first->IsVoicePart() ? item->Parent == first->Parent
                                                         : !item->IsVoicePart())
                rows.push_back(row);
        }
        SelectRows(lvRecContent, rows);
        return true;
    }
    if (ctrlOnly && key == Qt::Key_S) {
        const std::vector<int> selected = SelectedRows(lvRecContent);
        const bool allowed = ProgramOptions.ConnectType == ConnDemo || Diagnostic;
        if (!allowed || selected.empty() || Recorder == nullptr || IsBusy())
            return true;
        const TRecordItem* item = RecList->GetItem(selected.front());
        if (item != nullptr && Transfers().MarkNotDownloaded(*item, ShownEntries(*RecList)))
            RecModel->Repaint();
        return true;
    }
    return false;
}

bool TfrmQuorvMain::lvDrvContentKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers plain = modifiers & ~Qt::KeypadModifier;
    if (plain == Qt::ControlModifier && key == Qt::Key_A) {
        lvDrvContent->selectAll();
        return true;
    }
    if (plain != Qt::NoModifier)
        return false;
    if (key == Qt::Key_Backspace) {
        if (actDrvLevelUp->isEnabled())
            actDrvLevelUpExecute();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        OpenSelectedDriveFolder();
        return true;
    }
    return false;
}

void TfrmQuorvMain::actShowRecExecute() {
    actShowRec->setChecked(true);
    actShowDrv->setChecked(false);
    ViewFlag = 0;
    FillLocationCombo();
}

void TfrmQuorvMain::actShowDrvExecute() {
    actShowDrv->setChecked(true);
    actShowRec->setChecked(false);
    ViewFlag = 1;
    FillLocationCombo();
}

void TfrmQuorvMain::actRecRefreshExecute() {
    if (Recorder == nullptr || IsBusy())
        return;
    const bool firstRefresh = FirstRefreshPending;
    TFirstRefreshOptions options;
    options.SyncTime = ProgramOptions.SyncTime;
    options.AutoDownload = ProgramOptions.AutoDownload;
    options.NonDownOnly = ProgramOptions.NonDownOnly;
    options.AutoDelete = ProgramOptions.AutoDelete;
    options.DownloadFolder = ProgramOptions.DefFolder.toStdString();
    TRecordsView view;
    view.FirstReadShown = [this] {
        actShowRecExecute();
        FirstRefreshPending = false;
    };
    view.Entries = [this] { return ShownEntries(*RecList); };
    view.SelectRows = [this](const std::vector<int>& rows) { SelectRows(lvRecContent, rows); };
    view.Repaint = [this] { RecModel->Repaint(); };
    RunOperation([&] {
        ShowProgressForm(Lang("StatusRefreshingStr"), false);
        TWaitCursor hourglass;
        if (Recorder->IsConnected())
            Transfers().RefreshContent(firstRefresh, options, view);
    });
}

void TfrmQuorvMain::UpdateRecorderActions() {
    const bool connected = Connected && Recorder != nullptr;
    const bool idle = !IsBusy();
    for (QAction* action : {actRecRefresh, actRecSettings})
        action->setEnabled(connected && idle);
    actSyncClock->setEnabled(connected && idle &&
                             (ProgramOptions.ConnectType == ConnUsb11Adapter ||
                              ProgramOptions.ConnectType == ConnUsb20SpiAdapter ||
                              ProgramOptions.ConnectType == ConnUsb20AdapterB));

    actShowRec->setEnabled(connected);
    pnlStatus->setVisible(connected);
    const bool drive = connected && !ProgramOptions.DisableFlashDrive &&
                       !(Recorder != nullptr && Recorder->IsFlashDriveDisabled());
    actShowDrv->setEnabled(drive);
    if (!drive && actShowDrv->isChecked())
        actShowRecExecute();
    lvRecContent->setVisible(connected && actShowRec->isChecked());
    lvDrvContent->setVisible(drive && actShowDrv->isChecked());
    actDrvLevelUp->setEnabled(connected && ViewFlag == 1 && ShownDrvList->FilterPath() != "\\");

    actFormat->setEnabled(connected && idle);
    actRecErase->setEnabled(connected && idle && RecEraseAllowed());
    actCopyToRec->setEnabled(connected && idle && !SelectedExplorerPaths().isEmpty());

    // The downloads, once the rows to fetch are selected.
    ConnectDownloadActions();
    const bool canDownload =
        connected && idle && !SelectedRows(ViewFlag == 0 ? lvRecContent : lvDrvContent).empty();
    // Copy and move to the PC write into the explorer's folder: only while it is shown.
    const bool explorer = actViewExp->isChecked();
    for (QAction* action : {actCopyToPC, actMoveToPC})
        action->setEnabled(canDownload && explorer);
    for (QAction* action : {actCopyToDefFolder, actMoveToDefFolder})
        action->setEnabled(canDownload);
    actCopySelPartUpdate();
}

void TfrmQuorvMain::ApplyDealerSwitches(bool hideEditor, bool disableEditor, bool disableFlash,
                                        bool hideFlash) {
    // The options themselves are taken back from the dialog when it closes; the disabling
    // follows them in the update handlers.
    Q_UNUSED(disableEditor);
    actCopySelPart->setVisible(!hideEditor);
    actShowDrv->setVisible(!hideFlash);
    // The tool bar shows the action through a button of its own.
    for (QAction* item : ToolBar1->actions()) {
        const auto* button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(item));
        if (button != nullptr && button->defaultAction() == actShowDrv)
            item->setVisible(!hideFlash);
    }
    if ((hideFlash || disableFlash) && actShowDrv->isChecked())
        actShowRecExecute();
}

void TfrmQuorvMain::actNewFolderExecute() {
    QString base = ExplorerFolder();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    base += Lang("NewFolderNameStr");
    QString path = base;
    for (int n = 1; QFileInfo::exists(path); ++n)
        path = base + QLatin1Char(' ') + QString::number(n);
    if (!QDir().mkdir(path)) {
        ShowMessageBox(Lang("CantCreateStr") + QLatin1Char(' ') + path, ApplicationTitle(),
                       MB_ICONERROR);
        return;
    }
    ShellListView1->clearSelection();
    actExpRefreshExecute();
    // The new folder's name is put into editing at once, so that the user can rename it.
    const QModelIndex created = ShellModel->index(path);
    auto* shown = qobject_cast<QAbstractItemView*>(pnlShellList->currentWidget());
    if (created.isValid() && shown != nullptr) {
        shown->setCurrentIndex(created);
        shown->selectionModel()->select(created, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        shown->scrollTo(created);
        shown->edit(created);
    }
}

void TfrmQuorvMain::actExpDeleteExecute() {
    QStringList selected;
    for (const QModelIndex& index : ShellListView1->selectionModel()->selectedRows())
        selected << ShellModel->filePath(index);
    QStringList untrashed;
    for (const QString& path : selected) {
        if (!MoveToTrash(QFile::encodeName(path).toStdString()))
            untrashed << path;
    }
    // What no trash takes is gone for good once deleted: that is the user's choice.
    QStringList failed;
    if (!untrashed.isEmpty() &&
        ShowMessageBox(Lang("NoTrashDeleteStr") + QLatin1Char('\n') +
                           untrashed.join(QLatin1Char('\n')),
                       ApplicationTitle(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES) {
        for (const QString& path : untrashed) {
            const QFileInfo info(path);
            const bool removed = info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively()
                                                                   : QFile::remove(path);
            if (!removed)
                failed << path;
        }
    }
    actExpRefreshExecute();
    if (!failed.isEmpty())
        ShowMessageBox(Lang("CantOpenStr") + QLatin1Char(' ') + failed.join(QLatin1Char('\n')),
                       ApplicationTitle(), MB_ICONERROR);
}

void TfrmQuorvMain::actRecSettingsExecute() {
    if (Recorder == nullptr || IsBusy() || !Seams.ExecSettingsDialog)
        return;
    if (Seams.ExecSettingsDialog())
        ContentModified = true; // ShowVoiceParts changed: the lists are filled again
}

QString TfrmQuorvMain::SelectedExplorerPath() const {
    const QModelIndexList rows = ShellListView1->selectionModel()->selectedRows();
    return rows.size() == 1 ? ShellModel->filePath(rows.constFirst()) : QString();
}

void TfrmQuorvMain::actShowAddInfoExecute() {
    const QString path = SelectedExplorerPath();
    if (path.isEmpty())
        return;
    const QString name = QFileInfo(path).fileName();
    const QString notWave = name + QLatin1Char(' ') + Lang("NotWaveFileStr");
    if (!CanOpenFile(path, false)) {
        ShowMessageBox(QFileInfo(path).isDir() ? notWave
                                               : Lang("CantOpenStr") + QLatin1Char(' ') + name,
                       ApplicationTitle(), MB_ICONERROR);
        return;
    }
    TWaveFile wave;
    wave.SetFileName(path.toStdString());
    const bool isWave = wave.Open();
    wave.Close();
    if (!isWave) {
        ShowMessageBox(notWave, ApplicationTitle(), MB_ICONERROR);
        return;
    }
    if (Seams.ShowSoundInfo)
        Seams.ShowSoundInfo(path);
}

bool TfrmQuorvMain::DropAccepted(const QObject* target, const QObject* source) const {
    const bool fromExplorer =
        source != nullptr && (source == ShellListView1 || source == ShellIconView1);
    const bool fromRecorder =
        source != nullptr && (source == lvRecContent || source == lvDrvContent);
    if (target == lvRecContent || target == lvDrvContent)
        return fromExplorer;
    if (target == ShellListView1 || target == ShellIconView1)
        return fromRecorder;
    return false;
}
