#include "ui/Quorv_main.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMoveEvent>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

#include "engine/RecClassesJournal.h"
#include "engine/Recinterface.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangFormLists.h"
#include "i18n/VexaLangForms.h"
#include "i18n/VexaLangText.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/PosixFile.h"
#include "ui/About.h"
#include "ui/Fileutils.h"
#include "ui/QtTranslations.h"
#include "ui/Quorv_mainConnectionKinds.h"
#include "ui/RecorderListView.h"
#include "ui/RenameDlg.h"
#include "ui/SingleInstance.h"
#include "ui/Splash.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"
#include "widgets/PassDlg.h"

namespace {

// The Windows-style folder text of a constant ("\Sounds") as a relative path here.
QString NativeFolderText(const QString& text) {
    QString path = text;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

std::vector<int> ColumnWidths(const QTreeView* view) {
    std::vector<int> widths;
    for (int i = 0; i < view->header()->count(); ++i)
        widths.push_back(view->columnWidth(i));
    return widths;
}

void SetColumnWidths(QTreeView* view, const std::vector<int>& widths) {
    const int count = view->header()->count();
    for (int i = 0; i < count && i < static_cast<int>(widths.size()); ++i) {
        if (widths[static_cast<std::size_t>(i)] > 0)
            view->setColumnWidth(i, widths[static_cast<std::size_t>(i)]);
    }
}

} // namespace

TfrmQuorvMain::TfrmQuorvMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmQuorvMain"));
    setWindowTitle(QStringLiteral("Quorvex"));
    resize(DefaultWindowWidth, DefaultWindowHeight);

    Diagnostic = HasSwitch(QStringLiteral("diag"));
    HiddenTab = HasSwitch(QStringLiteral("vemt"));

    DrvList = std::make_unique<TFileList>();
    SelDrvList = std::make_unique<TFileList>();
    ShownDrvList = std::make_unique<TFilteredFileList>();
    SelDrvList->SetSortMode(FileSortByName);
    ShownDrvList->SetSortMode(FileSortByName);
    ShownDrvList->SetSourceList(DrvList.get());
    RecList = std::make_unique<TRecordList>();
    TransferUi = MakeTransferUi();
    InstallRecorderUi();

    CreateActions();
    CreatePanels();
    CreateStatusPanel();
    ConnectRecorderViews();
    ConnectFocusHandlers();
    lvRecContentColumnClick(-1);
    CreateConnectionMenu();
    CreateMenus();
    CreateToolBar();

    ViewFlag = 0;
    IdleReady = true;
    Connected = false;

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(Timer1IntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TfrmQuorvMain::Timer1Timer);

    // The idle pass runs each time the event loop is about to wait, so once the queue has
    // emptied; the waits of the operations process events without ever waiting, so no pass
    // runs inside them.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TfrmQuorvMain::EventQueueEmptied);

    // The chord that shows the settings dialog's hidden tab.
    auto* hiddenChord = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Shift+V")), this);
    hiddenChord->setObjectName(QStringLiteral("HiddenTabChord"));
    connect(hiddenChord, &QShortcut::activated, this, &TfrmQuorvMain::FormKeyDown);

    ProgramOptions.RecentFiles.clear();

    FitTextsToLanguage();
    // Last, so that the texts above are the ones a switch back to the default restores.
    VexaLanguageController1 = CreateFormLanguageController(this, TTranslatedForm::MainWindow);
    VexaLanguageController1->OnLanguageChanged = [this](TVexaLanguageController&) {
        VexaLanguageController1LanguageChanged();
    };
}

TfrmQuorvMain::~TfrmQuorvMain() {
    // No idle pass, focus or state signal may reach a window being taken down.
    disconnect(QAbstractEventDispatcher::instance(), nullptr, this, nullptr);
    disconnect(qApp, nullptr, this, nullptr);
    DisconnectRecorder();
    RemoveRecorderUi();
    if (Splash)
        delete Splash.data();
}

void TfrmQuorvMain::RunIdlePass() {
    ApplicationEvents1Idle();
    UpdateActions();
}

void TfrmQuorvMain::InitMainForm(const QString& programPath) {
    // 1. The settings file, copied from the current directory when it is missing.
    const QString program =
        programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath;
    const QFileInfo programInfo(program);
    const QFileInfo folderInfo(programInfo.absolutePath());
    SettingsFile =
        SettingsFilePath(program, folderInfo.isWritable(),
                         QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    CopyMissingSettingsFile(SettingsFile, QDir::currentPath());
    // The recorder engine keeps its copies of blocks being rewritten in the program's data.
    SetRecorderDataFolder(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());

    // 2. to 6. The language: the files beside the program are registered with the
    // program-wide manager (a test that brings its own manager gives its own languages).
    LoadLanguageId();
    if (Languages == nullptr)
        ScanProgramLanguageFiles(*LangManager(), program.toStdString());
    BuildLanguageMenu();

    // 7. The title.
    SetApplicationTitle(Lang("AppNameStr"));
    setWindowTitle(WindowTitleText());

    // 8. The splash form stays until the first idle pass after the initialisation.
    auto* splash = new TfrmSplash(nullptr);
    if (Diagnostic)
        splash->setWindowFlag(Qt::WindowStaysOnTopHint, false);
    splash->show();
    splash->raise();
    splash->activateWindow();
    splash->repaint();
    Splash = splash;

    // 9. and 10. Placement and options.
    LoadPlacement();
    ApplyPlacement(Placement);
    LoadSettings();

    // 12. and 13. The default folder and the file-name mask.
    // Asked of the file system itself: Qt would take a name starting with ":" for a folder
    // of its built-in resources, where nothing can be written.
    if (!IsDirectory(ProgramOptions.DefFolder.toStdString())) {
        ProgramOptions.DefFolder =
            QDir(programInfo.absolutePath()).filePath(NativeFolderText(Lang("DefFolderStr")));
        QDir().mkpath(ProgramOptions.DefFolder);
    }
    if (ProgramOptions.FileNameMask.isEmpty())
        ProgramOptions.FileNameMask = Lang("DefFNMaskStr");

    // 14. The explorer's view style.
    for (QAction* item : ViewStyleGroup->actions()) {
        if (item->data().toInt() == ShellViewStyle)
            item->trigger();
    }

    // 15. The panels, the explorer and the tool bar.
    mainPanel->show();
    SetExplorerFolder(ProgramOptions.DefFolder);
    actViewExpExecute();
    actFolderTreeExecute();
    LastActiveControl = pnlRecContent;
    ToolBar1->show();
    tlbtnConnect->setMenu(pmConnect);
    tlbtnConnect->setPopupMode(QToolButton::MenuButtonPopup);

    // 16. The settings dialog takes the program options once it exists.
    // 17. From now on the idle passes do their work.
    Initialised = true;
}

void TfrmQuorvMain::LoadLanguageId() {
    // A settings file that cannot be read is reported once; the defaults hold and the file
    // is left as it is (it is never replaced by one written from defaults).
    const QFileInfo file(SettingsFile);
    if (file.exists() && (file.isDir() || !QFile(SettingsFile).open(QIODevice::ReadOnly)))
        ShowSettingsProblem("CantOpenStr", QString());
    const TIniFile ini(SettingsFile.toStdString());
    LangID = ::LoadLanguageId(ini, LangID);
}

void TfrmQuorvMain::LoadPlacement() {
    const TIniFile ini(SettingsFile.toStdString());
    const std::optional<TWindowPlacement> stored = ::LoadPlacement(ini);
    Placement = stored ? *stored : CurrentPlacement();
}

void TfrmQuorvMain::LoadSettings() {
    actViewExp->setChecked(true);
    TMainLayout layout = CurrentLayout();
    const TIniFile ini(SettingsFile.toStdString());
    ::LoadSettings(ini, ProgramOptions, layout);
    CheckConnectionItem(ProgramOptions.ConnectType);
    ApplyLayout(layout);
    UpdateRecentFilesMenu();
}

bool TfrmQuorvMain::SaveSettings() {
    QDir().mkpath(QFileInfo(SettingsFile).absolutePath());
    TIniFile ini(SettingsFile.toStdString());
    ::SaveSettings(ini, ProgramOptions, CurrentLayout(), CurrentPlacement(), LangID);
    if (ini.UpdateFile())
        return true;
    ShowSettingsProblem("CantCreateStr", QString());
    return false;
}

void TfrmQuorvMain::ShowSettingsProblem(const char* constantName, const QString& detail) {
    QString text = Lang(constantName) + QLatin1Char(' ') + SettingsFile;
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    ShowMessageBox(text, ApplicationTitle(), MB_ICONWARNING);
}

void TfrmQuorvMain::BuildLanguageMenu() {
    for (QAction* item : LanguageGroup->actions()) {
        LanguageGroup->removeAction(item);
        delete item;
    }
    Language1->clear();
    TVexaLanguageManager& manager = Languages ? *Languages : *LangManager();
    bool hasBaseLanguageFile = false;
    auto addItem = [this](const QString& caption, std::uint16_t langId, QAction* before) {
        auto* item = new QAction(caption, LanguageGroup);
        item->setObjectName(QStringLiteral("miLanguage%1").arg(langId));
        item->setCheckable(true);
        item->setData(langId);
        Language1->insertAction(before, item);
        connect(item, &QAction::triggered, this, [this, item] { LanguageClick(item); });
        return item;
    };
    for (int i = 1; i < manager.GetLanguageCount(); ++i) {
        const std::uint16_t langId = manager.GetLanguageIDByIndex(i);
        if (langId == BaseLanguageId)
            hasBaseLanguageFile = true;
        addItem(QString(), langId, nullptr);
    }
    BaseLanguageItem = nullptr;
    if (!hasBaseLanguageFile) {
        manager.SetDefaultLanguageID(BaseLanguageId);
        const QList<QAction*> present = Language1->actions();
        BaseLanguageItem =
            addItem(QString(), BaseLanguageId, present.isEmpty() ? nullptr : present.first());
    }
    if (manager.IndexOfLanguageID(LangID) < 0)
        LangID = BaseLanguageId;
    try {
        manager.SetCurrentLanguageID(LangID);
    } catch (const std::exception& error) {
        // A language file that does not load leaves the built-in texts in force.
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONWARNING);
        LangID = manager.GetCurrentLanguageID();
    }
    // A start in the built-in language switches nothing, so no form reports a change.
    ApplyQtTranslations(manager.GetCurrentLanguageID());
    ApplyProgramLocale(manager.GetCurrentLanguageID());
    UpdateLanguageCaptions();
    CheckLanguageItem(manager.GetCurrentLanguageID());
}

// Each language is named as its own speakers write it, so that a user who does not read the
// current language still finds theirs; the base item's words follow the current language.
void TfrmQuorvMain::UpdateLanguageCaptions() {
    const TVexaLanguageManager& manager = Languages ? *Languages : *LangManager();
    auto nameOf = [&manager](std::uint16_t langId) {
        const QString native = LocaleOfLanguage(langId).nativeLanguageName();
        if (FindLanguageInfo(langId) != nullptr && !native.isEmpty())
            return native;
        const int index = manager.IndexOfLanguageID(langId);
        return QString::fromStdString(manager.GetLanguageName(index < 0 ? 0 : index));
    };
    for (QAction* item : LanguageGroup->actions()) {
        const auto langId = static_cast<std::uint16_t>(item->data().toUInt());
        item->setText(item == BaseLanguageItem ? Lang("BaseLangStr") + QStringLiteral(" (") +
                                                     nameOf(langId) + QLatin1Char(')')
                                               : nameOf(langId));
    }
}

void TfrmQuorvMain::CheckLanguageItem(std::uint16_t langId) {
    for (QAction* item : LanguageGroup->actions())
        item->setChecked(item->data().toUInt() == langId);
}

void TfrmQuorvMain::LanguageClick(QAction* sender) {
    const auto langId = static_cast<std::uint16_t>(sender->data().toUInt());
    TVexaLanguageManager& manager = Languages ? *Languages : *LangManager();
    try {
        // Every open form follows, this one included (its handler refreshes the rest).
        manager.SetCurrentLanguageID(langId);
    } catch (const std::exception& error) {
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONERROR);
    }
    // Only a switch that took place moves the check mark; it is saved at close.
    LangID = manager.GetCurrentLanguageID();
    CheckLanguageItem(LangID);
    Timer1->stop();
}

void TfrmQuorvMain::CheckConnectionItem(std::int32_t kind) {
    QAction* checked = miDemo; // any other value checks the emulation and is kept
    for (QAction* item : ConnectGroup->actions()) {
        if (item->data().toInt() == kind)
            checked = item;
    }
    checked->setChecked(true);
}

void TfrmQuorvMain::miUSB20_ADPTClick(QAction* sender) {
    if (IsBusy()) {
        // The kind stays as it was while an operation runs on the current recorder.
        CheckConnectionItem(ProgramOptions.ConnectType);
        return;
    }
    DisconnectRecorder();
    if (sender)
        sender->setChecked(true);
    std::int32_t kind = 3;
    for (QAction* item : {miUSB11, miImageFile, miUSB20_ADPT, miUSB20_SPI, miK71_ADPT}) {
        if (item->isChecked()) {
            kind = item->data().toInt();
            break;
        }
    }
    ProgramOptions.ConnectType = kind;
    Timer1->stop();
    setWindowTitle(WindowTitleText());
    RunIdlePass(); // creates the new recorder object at once
}

void TfrmQuorvMain::UpdateRecentFilesMenu() {
    for (QAction* item : pmConnect->actions()) {
        if (item->objectName().startsWith(QStringLiteral("RecentFile"))) {
            pmConnect->removeAction(item);
            delete item;
        }
    }
    for (int i = 0; i < ProgramOptions.RecentFiles.size(); ++i) {
        const QString& path = ProgramOptions.RecentFiles.at(i);
        // The caption escapes "&"; the path itself travels in the item's data.
        QString caption = path;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* item = new QAction(caption, pmConnect);
        item->setObjectName(QStringLiteral("RecentFile%1").arg(i));
        item->setData(path);
        pmConnect->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { RecentFileClick(item); });
    }
}

void TfrmQuorvMain::RecentFileClick(QAction* sender) {
    // OpenImageFile refuses while an operation runs, before the image file or the recent
    // list changes; the copy outlives sender, which the menu's rebuild deletes.
    const QString path = sender->data().toString();
    OpenImageFile(path);
}

void TfrmQuorvMain::mnReportClick(QAction* sender) {
    ShellViewStyle = sender->data().toInt();
    sender->setChecked(true);
    if (ShellViewStyle == 3) {
        pnlShellList->setCurrentWidget(ShellListView1);
    } else {
        const bool icons = ShellViewStyle < 2;
        ShellIconView1->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
        ShellIconView1->setFlow(icons ? QListView::LeftToRight : QListView::TopToBottom);
        ShellIconView1->setWrapping(true);
        const int size = ShellViewStyle == 0 ? 48 : 16;
        ShellIconView1->setIconSize(QSize(size, size));
        ShellIconView1->setGridSize(ShellViewStyle == 0 ? QSize(96, 80) : QSize());
        pnlShellList->setCurrentWidget(ShellIconView1);
    }
    tlbtnViewStyle->setIcon(sender->icon().isNull()
                                ? style()->standardIcon(ShellViewStyle == 3
                                                            ? QStyle::SP_FileDialogDetailedView
                                                            : QStyle::SP_FileDialogListView)
                                : sender->icon());
}

void TfrmQuorvMain::SetExplorerFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (!IsDirectory(path.toStdString()))
        return;
    if (ExplorerFolder() == path && ShellModel->rootPath() == path)
        return;
    const QModelIndex root = ShellModel->setRootPath(path);
    ShellListView1->setRootIndex(root);
    ShellIconView1->setRootIndex(root);
    const QModelIndex node = FolderModel->index(path);
    if (node.isValid() && ShellTreeView1->currentIndex() != node) {
        ShellTreeView1->setCurrentIndex(node);
        ShellTreeView1->scrollTo(node);
    }
    if (ShellComboBox1->findText(path) < 0)
        ShellComboBox1->insertItem(0, style()->standardIcon(QStyle::SP_DirIcon), path);
    ShellComboBox1->setCurrentIndex(ShellComboBox1->findText(path));
}

QString TfrmQuorvMain::ExplorerFolder() const {
    return ShellModel->rootPath();
}

void TfrmQuorvMain::ApplyPaneWidths() {
    const int outer = qMax(Splitter1->width(), width() - 8);
    Splitter1->setSizes({qMax(100, outer - ExpWidth), ExpWidth});
    const int inner = qMax(Splitter2->width(), ExpWidth);
    Splitter2->setSizes({FoldersWidth, qMax(100, inner - FoldersWidth)});
}

void TfrmQuorvMain::actViewExpExecute() {
    const bool shown = actViewExp->isChecked();
    pnlExpWindow->setVisible(shown);
    Splitter1->handle(1)->setVisible(shown);
    if (shown)
        ApplyPaneWidths();
}

void TfrmQuorvMain::actFolderTreeExecute() {
    ShellTreeView1->setVisible(actFolderTree->isChecked());
    Splitter2->handle(1)->setVisible(actFolderTree->isChecked());
    if (actFolderTree->isChecked())
        ApplyPaneWidths();
}

void TfrmQuorvMain::_spbtnExpCloseClick() {
    actViewExp->trigger();
}

void TfrmQuorvMain::actGoToDefFolderExecute() {
    SetExplorerFolder(ProgramOptions.DefFolder);
}

void TfrmQuorvMain::actSetDefFolderExecute() {
    ProgramOptions.DefFolder = ExplorerFolder();
}

void TfrmQuorvMain::actExpRefreshExecute() {
    // The model watches the shown folder itself; setting its root again re-reads it.
    const QString folder = ExplorerFolder();
    ShellModel->setRootPath(QString());
    const QModelIndex root = ShellModel->setRootPath(folder);
    ShellListView1->setRootIndex(root);
    ShellIconView1->setRootIndex(root);
}

void TfrmQuorvMain::About1Click() {
    if (AboutBox)
        AboutBox->exec();
}

void TfrmQuorvMain::Exit1Click() {
    close();
}

QString TfrmQuorvMain::WindowTitleText() const {
    const QString title = ApplicationTitle();
    for (const TConnectionKindItem& kind : ConnectionKinds) {
        if (kind.Kind != ProgramOptions.ConnectType)
            continue;
        QString text = Lang(kind.TitleConstant);
        if (kind.Kind == 1)
            text += QLatin1Char(' ') + ProgramOptions.ImageFileName;
        return title + QStringLiteral(" - ") + text;
    }
    return title + QStringLiteral(" - ");
}

void TfrmQuorvMain::EventQueueEmptied() {
    // Coalesced by the loop itself: one pass each time it is about to wait. A modal dialog
    // opened inside a pass, or inside an operation, waits in a loop of its own; no pass runs
    // there. Nor while a message box waits for its answer: what the pass would raise (the
    // password prompt after a new password was stored) comes after the box, not over it.
    if (IdleReady && !IsBusy() && !IsMessageBoxShowing())
        RunIdlePass();
}

void TfrmQuorvMain::ApplicationEvents1Idle() {
    if (!IdleReady)
        return; // a pass is already running further up the stack (a modal dialog's loop)
    // Ready again however the pass ends.
    struct TPassGuard {
        bool& Ready;
        explicit TPassGuard(bool& ready) : Ready(ready) { Ready = false; }
        ~TPassGuard() { Ready = true; }
        TPassGuard(const TPassGuard&) = delete;
        TPassGuard& operator=(const TPassGuard&) = delete;
    } guard(IdleReady);
    // The title follows the language: "AppNameStr" is read again on every pass.
    if (Initialised)
        SetApplicationTitle(Lang("AppNameStr"));
    const QString title = WindowTitleText();
    if (windowTitle() != title)
        setWindowTitle(title);
    // While an operation runs, it owns the progress form and the recorder.
    if (IsBusy())
        return;
    // Holding Shift over the active window turns the copy buttons into move buttons.
    const bool shift =
        isActiveWindow() && (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier);
    QAction* toPC = shift ? actMoveToPC : actCopyToPC;
    QAction* toDefFolder = shift ? actMoveToDefFolder : actCopyToDefFolder;
    if (tlbtnCopyToPC->defaultAction() != toPC)
        tlbtnCopyToPC->setDefaultAction(toPC);
    if (tlbtnCopyToDefFolder->defaultAction() != toDefFolder)
        tlbtnCopyToDefFolder->setDefaultAction(toDefFolder);
    if (!Timer1->isActive() && Initialised) {
        Timer1->start();
        if (Splash) {
            delete Splash.data();
            activateWindow();
            raise();
        }
        PollRecorder();
    }
    // A progress form an operation left behind goes.
    if (!IsBusy())
        CloseVisibleProgress();
}

void TfrmQuorvMain::Timer1Timer() {
    Timer1->stop();
}

void TfrmQuorvMain::UpdateActions() {
    const bool explorer = actViewExp->isChecked();
    for (QAction* action :
         {actGoToDefFolder, actSetDefFolder, actNewFolder, actFolderTree, actExpRefresh})
        action->setEnabled(explorer);
    // A name being edited has its editor open over the list.
    const auto* shown = qobject_cast<const QAbstractItemView*>(pnlShellList->currentWidget());
    const auto* editor = shown != nullptr ? shown->viewport()->findChild<QLineEdit*>() : nullptr;
    const bool editing = editor != nullptr && editor->isVisible();
    actLevelUp->setEnabled(explorer && !editing && !QDir(ExplorerFolder()).isRoot());
    actShowAddInfo->setEnabled(explorer && !SelectedExplorerPath().isEmpty());
    actExpDelete->setEnabled(explorer && !editing &&
                             ShellListView1->selectionModel()->hasSelection());
    UpdateRecorderActions();
}

void TfrmQuorvMain::FormKeyDown() {
    HiddenTab = !HiddenTab;
    if (Recorder)
        Recorder->SetHiddenTabVisible(HiddenTab);
}

bool TfrmQuorvMain::IsBusy() const {
    const QCursor* cursor = QApplication::overrideCursor();
    return Busy || (cursor && cursor->shape() == Qt::WaitCursor);
}

bool TfrmQuorvMain::FormCloseQuery() {
    return !IsBusy();
}

void TfrmQuorvMain::FormClose() {
    SaveSettings();
    DisconnectRecorder();
}

void TfrmQuorvMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    if (Splash)
        delete Splash.data();
    event->accept();
}

void TfrmQuorvMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    KeepOnScreen(*this);
    FramePlaced = !WindowFrameMargins(*this).isNull();
}

void TfrmQuorvMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The window manager draws the frame after the window is shown: once its size is known
    // the title bar is brought onto the screen, once (the user may drag it anywhere later).
    if (!FramePlaced && isVisible() && !WindowFrameMargins(*this).isNull()) {
        FramePlaced = true;
        KeepOnScreen(*this);
    }
}

void TfrmQuorvMain::BringToFront() {
    TSingleInstance::BringToFront(*this);
}

TMainLayout TfrmQuorvMain::CurrentLayout() const {
    TMainLayout layout;
    layout.ExpWidth = ExpWidth;
    layout.ExpWindow = actViewExp->isChecked();
    layout.FoldersWidth = FoldersWidth;
    layout.FolderTree = actFolderTree->isChecked();
    layout.ViewStyle = ShellViewStyle;
    layout.RecColumnWidths = ColumnWidths(lvRecContent);
    layout.DrvColumnWidths = ColumnWidths(lvDrvContent);
    layout.ShellColumnWidths = ColumnWidths(ShellListView1);
    return layout;
}

void TfrmQuorvMain::ApplyLayout(const TMainLayout& layout) {
    actViewExp->setChecked(layout.ExpWindow);
    actFolderTree->setChecked(layout.FolderTree);
    if (layout.ViewStyle >= 0 && layout.ViewStyle <= 3)
        ShellViewStyle = layout.ViewStyle;
    if (layout.ExpWidth > 0)
        ExpWidth = layout.ExpWidth;
    if (layout.FoldersWidth > 0)
        FoldersWidth = layout.FoldersWidth;
    ApplyPaneWidths();
    SetColumnWidths(lvRecContent, layout.RecColumnWidths);
    SetColumnWidths(lvDrvContent, layout.DrvColumnWidths);
    SetColumnWidths(ShellListView1, layout.ShellColumnWidths);
}

// The placement holds the frame's top-left corner (where a move puts the window back) and the
// size of the window's inside, so that the window comes back where and as large as it was
// whatever frame the window manager draws.
TWindowPlacement TfrmQuorvMain::CurrentPlacement() const {
    TWindowPlacement placement;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    const QMargins frame = WindowFrameMargins(*this);
    placement.NormalLeft = normal.left() - frame.left();
    placement.NormalTop = normal.top() - frame.top();
    placement.NormalRight = placement.NormalLeft + normal.width();
    placement.NormalBottom = placement.NormalTop + normal.height();
    placement.ShowCmd = isMaximized()   ? TWindowPlacement::ShowMaximized
                        : isMinimized() ? TWindowPlacement::ShowMinimized
                                        : TWindowPlacement::ShowNormal;
    return placement;
}

void TfrmQuorvMain::ApplyPlacement(const TWindowPlacement& placement) {
    const QRect normal(placement.NormalLeft, placement.NormalTop,
                       placement.NormalRight - placement.NormalLeft,
                       placement.NormalBottom - placement.NormalTop);
    if (normal.width() >= 200 && normal.height() >= 150) {
        // A window stored on a screen that is gone comes back onto the primary screen.
        const QScreen* screen = QGuiApplication::screenAt(normal.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        QRect placed = normal;
        if (screen && !screen->availableGeometry().intersects(normal))
            placed.moveTopLeft(screen->availableGeometry().topLeft());
        resize(placed.size());
        move(placed.topLeft());
    }
    // Title bar and all on the screen, where it can be taken and dragged.
    KeepOnScreen(*this);
    // A window minimised at close opens normally again.
    if (placement.ShowCmd == TWindowPlacement::ShowMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}
