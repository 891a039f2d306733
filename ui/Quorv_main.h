#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "transfer/TransferUi.h"
#include "ui/MainWidgets.h"
#include "ui/RecordList.h"
#include "widgets/ProgramOptions.h"

class QAction;
class QFileSystemModel;
class QTreeView;
class QWidget;
class TAboutBox;
class TCustomRecorder;
class TFileList;
class TFilteredFileList;
class TRecorder;
class TRecorderUi;
class TTransferController;
class TVexaLanguageManager;
class TPasswordDlg;
class TfrmRename;

// One item of the status panel as the layout sees it.
struct TStatusItemSize {
    int Width = 0;
    int Height = 0;
    int Tag = 0; // 1: memory items, which never start on the first row
};
// The rectangles of the items in the panel's rows; rows receives the number of rows.
std::vector<TRect> LayoutStatusItems(const std::vector<TStatusItemSize>& items, int panelWidth,
                                     int& rows);

// The battery bar: millivolts above 3500 of 500 for model class 0, else the level of 3.
struct TBatteryBar {
    int Maximum = 0;
    int Position = 0;
    bool Stepped = false;
    std::optional<QColor> Colour; // level 0 keeps the colour the bar had
};
TBatteryBar BatteryBarFor(std::uint32_t modelClass, std::uint16_t millivolts, std::uint8_t level);

// The forms other units build, reached through these hand-overs; each one left empty does
// nothing (or its obvious minimum) until its form is wired in.
struct TMainFormSeams {
    std::function<void(const QString& text, bool cancelAllowed)> ShowProgress;
    // A new text on the shown form; its estimate and a Cancel already pressed stay.
    std::function<void(const QString& text)> SetProgressText;
    std::function<void(int percent)> SetProgress;
    std::function<void()> CloseProgress;
    std::function<void(TRecorder*)> AttachSettings;
    std::function<void(TRecorder*)> DetachSettings;
    std::function<void()> RestoreSettings;
    std::function<void(bool visible)> SetSettingsHiddenTab;
    // Shows the settings dialog modally; true when ShowVoiceParts changed.
    std::function<bool()> ExecSettingsDialog;
    // Shows the sound-information dialog modally for a WAV file.
    std::function<void(const QString& path)> ShowSoundInfo;
    // Takes down the settings dialog's profile-name balloon when it shows.
    std::function<void()> DestroySettingsBalloon;
};

// The main window: the frame of menus, tool bar, actions, the recorder pane with its two
// lists, the PC explorer pane and the status panel's place. Connection handling, the lists'
// contents and the transfers are filled in by their own units; their actions stay disabled
// here because their update handlers need a connected recorder.
class TfrmQuorvMain : public QMainWindow, private TMainWidgets {
    Q_OBJECT

public:
    // The connection pass runs at most once per Timer1 period.
    static constexpr int Timer1IntervalMs = 1000;
    // The window's size at first start.
    static constexpr int DefaultWindowWidth = 1100;
    static constexpr int DefaultWindowHeight = 700;

    // FormCreate: components, lists and the program-wide objects.
    explicit TfrmQuorvMain(QWidget* parent = nullptr);
    ~TfrmQuorvMain() override;

    // The components for code outside the window: usable, not reseatable.
    const TMainWidgets& Widgets() const { return *this; }

    // The deferred initialisation, run once by the program entry after all forms exist. The
    // settings file, the language files and the default folder are found beside the program.
    void InitMainForm(const QString& programPath = QString());
    // One idle pass with the actions' update handlers, as the emptied event queue runs it.
    void RunIdlePass();
    // A second start asked this instance to the front.
    void BringToFront();

    // Shared state of the main window.
    bool IsInitialised() const { return Initialised; }
    bool DiagnosticMode() const { return Diagnostic; }
    bool HiddenTabVisible() const { return HiddenTab; }
    bool IsConnected() const { return Connected; }
    QString SettingsFileName() const { return SettingsFile; }
    // One flag that refuses closing and every device action while an operation runs; the
    // hourglass cursor counts too.
    void SetBusy(bool busy) { Busy = busy; }
    // The progress form's Cancel: long operations read it between polls.
    void RequestCancel() { CancelRequested = true; }
    bool IsCancelRequested() const { return CancelRequested; }
    void ClearCancelRequest() { CancelRequested = false; }
    bool IsBusy() const;
    // Runs one long operation: the window busy and its main panel disabled for the whole
    // length, the progress form closed and the window enabled again however it ends, and
    // every exception shown. Operations inside one another share one busy span.
    void RunOperation(const std::function<void()>& body);
    // A controller of the batches over the current recorder with the options as they are.
    TTransferController Transfers();
    int ViewStyle() const { return ShellViewStyle; }

    // The settings file, read in three steps at start and written whole at close. Failures
    // are shown to the user; they never stop the program.
    void LoadLanguageId();
    void LoadPlacement();
    void LoadSettings();
    bool SaveSettings();

    // The language manager the menu works with; the program-wide one unless a test gives
    // its own.
    void SetLanguageManager(TVexaLanguageManager* manager) { Languages = manager; }
    // Rebuilds the language menu from the languages the manager lists.
    void BuildLanguageMenu();
    // After each switch of the form's translation controller: the texts the window builds
    // from constants and Qt's own texts.
    void VexaLanguageController1LanguageChanged();
    // The settings dialog's dealer switches that concern this window: "Copy selected part"
    // hidden or disabled, the flash-drive view hidden or disabled.
    void ApplyDealerSwitches(bool hideEditor, bool disableEditor, bool disableFlash,
                             bool hideFlash);
    void UpdateRecentFilesMenu();
    // The values of TMainLayout taken from and given to the controls.
    TMainLayout CurrentLayout() const;
    void ApplyLayout(const TMainLayout& layout);
    TWindowPlacement CurrentPlacement() const;
    void ApplyPlacement(const TWindowPlacement& placement);

    // The forms created once at start by the program entry (not owned here).
    QPointer<TfrmRename> frmRename;
    QPointer<TAboutBox> AboutBox;
    QPointer<TPasswordDlg> PasswordDlg;

    // Owned; created and destroyed by the connection handling, null while there is none.
    TCustomRecorder* Recorder = nullptr;
    // Makes the recorder object of a connection kind; empty: CreateRecorder. Tests give
    // recorders of their own.
    std::function<TCustomRecorder*(std::uint32_t kind)> RecorderFactory;
    // Creates the recorder object for ConnectType and points it at its image.
    bool ConnectRecorder();
    // Destroys the recorder object; the recorder views are emptied with it.
    void DisconnectRecorder();
    // Re-reads the recorder's content with progress and refills both views.
    void ReadRecordList();
    // Disables (and re-enables) the main panel around a long operation; busy meanwhile.
    void SetUiEnabled(bool enable);
    void UpdateStatusPanel();
    void pnlStatusResize();
    // The progress form with the text and its gauge at 0, Cancel enabled when allowed; the
    // end of the operation closes it.
    void ShowProgressForm(const QString& text, bool cancelAllowed);
    void SetProgressGauge(int percent);
    // The views let go of the recorder's lists before a re-read, and are filled after it.
    void EmptyRecorderViews();
    void FillRecorderViews();

    // Uploads to the recorder, erase and format. Each batch runs with the window disabled.
    void actCopyToRecExecute();
    // The same batch over the given PC paths, into the current view.
    void CopyToRecorder(const QStringList& paths);
    // Erases the current view's selection after asking; the sender is not looked at.
    void actRecEraseExecute(QObject* sender);
    // With a sender the user is asked first; without one the memory is formatted at once.
    void actFormatExecute(QObject* sender);
    // One above the highest record number on the recorder; 1 for an empty recorder.
    std::uint16_t NextRecordNumber();
    // The explorer list's selected paths, in row order.
    QStringList SelectedExplorerPaths() const;

    // The recorder views.
    TRecordList& RecordList() { return *RecList; }
    TFileList& DriveList() { return *DrvList; }
    TFilteredFileList& ShownDriveList() { return *ShownDrvList; }
    TFileList& SelectedDriveList() { return *SelDrvList; }
    std::uint8_t ViewFlagValue() const { return ViewFlag; }
    bool FirstRefreshIsPending() const { return FirstRefreshPending; }
    void FillRecordList();
    void FillDriveList();
    void FillLocationCombo();
    void CollectSelectedDriveFiles();
    // The rows selected in a view, in row order.
    std::vector<int> SelectedRows(const QTreeView* view) const;
    void SelectRows(QTreeView* view, const std::vector<int>& rows);
    void actRecRefreshExecute();
    void actShowRecExecute();
    void actShowDrvExecute();
    void actDrvLevelUpExecute();
    void actSyncClockExecute();
    void actConnectExecute();
    void actDisconnectExecute();
    void actNewFolderExecute();
    void actExpDeleteExecute();
    void actRecSettingsExecute();
    void actShowAddInfoExecute();
    // The explorer's address box: a typed folder opens, anything else is reported.
    void ShellComboBox1Return();
    // Focus and colour: the caption of the pane that holds the focus is highlighted.
    void pnlRecContentEnter();
    void pnlRecContentExit();
    void pnlExpWindowEnter();
    void pnlExpWindowExit();
    void pnlRecCaptionEnter();
    void lblRecContentClick();
    void lblExplorerClick();
    void FormDeactivate();
    void ApplicationEvents1Deactivate();
    // The control that had the focus when the window was last deactivated.
    QWidget* LastActive() const { return LastActiveControl.data(); }
    // Drops between the panes: the recorder lists take explorer items (copy to the recorder),
    // the explorer takes recorder rows (copy to the PC); nothing drops onto its own pane.
    bool DropAccepted(const QObject* target, const QObject* source) const;
    // The path of the one selected explorer item, empty unless exactly one is selected.
    QString SelectedExplorerPath() const;
    void lvRecContentColumnClick(int column); // -1: the call made at start-up
    void lvDrvContentColumnClick(int column);
    void cbexRecLocationChange(int index);
    void OpenSelectedDriveFolder();
    // The records view's keys; true when the key was consumed.
    bool lvRecContentKeyDown(int key, Qt::KeyboardModifiers modifiers);
    bool lvDrvContentKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void miImageFileClick();
    // Opens the image file as if it had been picked in the open dialog.
    void OpenImageFile(const QString& path);
    void RunPasswordLoop(bool& connected, bool& unlocked);

    // Downloads of the selection to the PC: copy to the explorer's folder or the default
    // folder, the same followed by the erase action (move), or a chosen part of one record.
    void actCopyToPCExecute();
    void actMoveToPCExecute();
    void actCopyToDefFolderExecute();
    void actMoveToDefFolderExecute();
    void actCopySelPartExecute();
    // The batch behind the five actions; sender tells which one ran.
    void RunDownloadBatch(const QAction* sender);
    // The overwrite question for an existing target; after mrOverwrite the name may come
    // back renamed (only when renameAllowed), staying in the folder asked about.
    int AskOverwrite(QString& fileName, bool renameAllowed = true);
    // The part-selection dialog over one record; on mrOk start and duration are the choice.
    int SelectRecordPart(std::uint32_t& startSecond, std::uint32_t& duration,
                         std::uint64_t recordSize);
    // The selected rows' entries of the records view, in list order.
    void CollectSelectedRecords();
    const std::vector<TRecordItem*>& SelectedRecords() const { return SelRecords; }
    void actCopySelPartUpdate();
    // The download actions' handlers, connected once.
    void ConnectDownloadActions();

    TMainFormSeams Seams;
    // The last value the progress form's gauge was given.
    int ProgressGauge = 0;
    // The open dialog of the image kind; replaceable so that it can run without a user.
    std::function<QString(const QString& filter, const QString& defaultSuffix)> PickImageFile;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanels();
    QWidget* CreateRecorderPane();
    QWidget* CreateExplorerPane();
    void CreateConnectionMenu();
    void ConnectFocusHandlers();
    // Texts that depend on the language's lengths: the tool bar's captions on two lines, or
    // three where the bar would not fit the default width otherwise, the lists' columns wide
    // enough for their captions and texts.
    void FitTextsToLanguage();
    // The recorder lists' columns widened to their texts, and the recorder pane to its
    // columns while the explorer keeps room of its own.
    void FitRecorderViews();
    void FocusMoved(QWidget* old, QWidget* now);
    // The caption panel clicks and focus entries; true when the event was handled.
    bool FocusEventFilter(QObject* watched, QEvent* event);

    // Event handlers, named after the component and the event.
    bool FormCloseQuery();
    void FormClose();
    void FormKeyDown();
    void ApplicationEvents1Idle();
    void PollRecorder();
    void InstallRecorderUi();
    void RemoveRecorderUi();
    void ConnectRecorderViews();
    void ConnectUploadActions();
    bool RecEraseAllowed() const;
    void UpdateRecorderActions();
    void CloseVisibleProgress();
    void CreateStatusPanel();
    void ResetPassword();
    // The emptied event queue: an idle pass unless one runs already or an operation waits.
    void EventQueueEmptied();
    void lvContentContextMenu(QTreeView* view, const QPoint& position);
    void Timer1Timer();
    void UpdateActions();
    void miUSB20_ADPTClick(QAction* sender);
    void RecentFileClick(QAction* sender);
    void LanguageClick(QAction* sender);
    void mnReportClick(QAction* sender);
    void actViewExpExecute();
    void actFolderTreeExecute();
    void actGoToDefFolderExecute();
    void actSetDefFolderExecute();
    void actExpRefreshExecute();
    void _spbtnExpCloseClick();
    void About1Click();
    void Exit1Click();

    void ApplyPaneWidths();
    void CheckConnectionItem(std::int32_t kind);
    void CheckLanguageItem(std::uint16_t langId);
    void UpdateLanguageCaptions();
    void SetExplorerFolder(const QString& folder);
    QString ExplorerFolder() const;
    QString WindowTitleText() const;
    void ShowSettingsProblem(const char* constantName, const QString& detail);

    QString SettingsFile;
    TVexaLanguageManager* Languages = nullptr;
    QFileSystemModel* FolderModel = nullptr;
    QFileSystemModel* ShellModel = nullptr;
    std::unique_ptr<TRecordList> RecList;
    std::unique_ptr<TFileList> DrvList;
    std::unique_ptr<TFilteredFileList> ShownDrvList;
    std::unique_ptr<TFileList> SelDrvList;
    std::vector<TRecordItem*> SelRecords;
    std::unique_ptr<TRecorderUi> RecorderUi;
    // The window's answers to the batches: its progress form, dialogs and boxes.
    std::unique_ptr<TTransferUi> TransferUi;
    std::unique_ptr<TTransferUi> MakeTransferUi();
    QString RememberedPassword;
    bool LocationFillGuard = false;
    bool ProgressVisible = false;
    QPointer<QWidget> LastActiveControl;
    TWindowPlacement Placement;

    std::uint8_t ViewFlag = 0; // 0 records view, 1 flash-drive view
    bool IdleReady = false;
    bool CancelRequested = false;
    bool FirstRefreshPending = false;
    bool Connected = false;
    bool Diagnostic = false;
    bool HiddenTab = false;
    bool Initialised = false;
    bool ContentModified = false;
    bool Busy = false;
    // Whether the frame was kept on the screen once the window manager had drawn it.
    bool FramePlaced = false;
    int OperationDepth = 0; // RunOperation calls on the stack
    int ShellViewStyle = 3;
    // Pane widths as last set or dragged; the panes may be hidden when they are asked for.
    int ExpWidth = 460;
    int FoldersWidth = 170;
};
