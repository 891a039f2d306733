#pragma once

#include <vector>

#include <QPointer>

class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QWidget;
class TDriveListModel;
class TRecordListModel;
class TVexaLanguageController;
class TfrmOverwrite;

// The main window's components, by the names the translation files and its builder use. The
// window inherits them privately (Qt's multiple-inheritance way for form classes): its own
// code names them directly; others reach them through TfrmQuorvMain::Widgets(), which lets
// them use the widgets but not reseat the pointers.
struct TMainWidgets {
    QWidget* mainPanel = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* pnlRecContent = nullptr;
    QFrame* pnlRecCaption = nullptr;
    QLabel* lblRecContent = nullptr;
    QLabel* lbDemo = nullptr;
    QWidget* pnlRecorder = nullptr;
    QWidget* pnlRecLocation = nullptr;
    QComboBox* cbexRecLocation = nullptr;
    QTreeView* lvRecContent = nullptr;
    QTreeView* lvDrvContent = nullptr;
    QLabel* lbErrorState = nullptr;
    QFrame* pnlStatus = nullptr;
    QWidget* pnlExpWindow = nullptr;
    QFrame* pnlExpCaption = nullptr;
    QLabel* lblExplorer = nullptr;
    QToolButton* _spbtnExpClose = nullptr;
    QComboBox* ShellComboBox1 = nullptr;
    QSplitter* Splitter2 = nullptr;
    QTreeView* ShellTreeView1 = nullptr;
    QStackedWidget* pnlShellList = nullptr;
    QTreeView* ShellListView1 = nullptr; // report view
    QListView* ShellIconView1 = nullptr; // icon and list views of the same folder
    QToolBar* ToolBar1 = nullptr;
    QToolButton* tlbtnConnect = nullptr;
    QToolButton* tlbtnCopyToPC = nullptr;
    QToolButton* tlbtnCopyToDefFolder = nullptr;
    QToolButton* tlbtnViewStyle = nullptr;

    QMenu* File1 = nullptr;
    QMenu* Recorder1 = nullptr;
    QMenu* View1 = nullptr;
    QMenu* Language1 = nullptr;
    QMenu* Help1 = nullptr;
    QMenu* pmConnect = nullptr;
    QMenu* pmViewStyle = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QAction* miConnectType = nullptr; // the hidden "Connection type" item
    QAction* ConnectionMenuRoot = nullptr;
    QActionGroup* ConnectGroup = nullptr;
    QAction* miDemo = nullptr;
    QAction* miUSB11 = nullptr;
    QAction* miUSB20_ADPT = nullptr;
    QAction* miUSB20_SPI = nullptr;
    QAction* miK71_ADPT = nullptr;
    QAction* miImageFile = nullptr;
    QActionGroup* LanguageGroup = nullptr;
    QAction* BaseLanguageItem = nullptr; // the built-in language's item, when it has one
    QActionGroup* ViewStyleGroup = nullptr;
    QAction* mnLargeIcons = nullptr;
    QAction* mnSmallIcons = nullptr;
    QAction* mnList = nullptr;
    QAction* mnReport = nullptr;
    QAction* Exit1 = nullptr;
    QAction* About1 = nullptr;

    QAction* actConnect = nullptr;
    QAction* actDisconnect = nullptr;
    QAction* actSyncClock = nullptr;
    QAction* actRecRefresh = nullptr;
    QAction* actFormat = nullptr;
    QAction* actRecSettings = nullptr;
    QAction* actShowRec = nullptr;
    QAction* actShowDrv = nullptr;
    QAction* actDrvLevelUp = nullptr;
    QAction* actRecErase = nullptr;
    QAction* actCopyToPC = nullptr;
    QAction* actMoveToPC = nullptr;
    QAction* actCopyToDefFolder = nullptr;
    QAction* actMoveToDefFolder = nullptr;
    QAction* actCopySelPart = nullptr;
    QAction* actCopyToRec = nullptr;
    QAction* actShowAddInfo = nullptr;
    QAction* actExpDelete = nullptr;
    QAction* actGoToDefFolder = nullptr;
    QAction* actSetDefFolder = nullptr;
    QAction* actNewFolder = nullptr;
    QAction* actFolderTree = nullptr;
    QAction* actViewExp = nullptr;
    QAction* actLevelUp = nullptr;
    QAction* actExpRefresh = nullptr;

    QTimer* Timer1 = nullptr;

    // The form's translation controller.
    TVexaLanguageController* VexaLanguageController1 = nullptr;
    TRecordListModel* RecModel = nullptr;
    TDriveListModel* DrvModel = nullptr;

    // The status panel's items in tab order, and their labels.
    std::vector<QFrame*> StatusItems;
    QLabel* lbModel = nullptr;
    QLabel* lbFWVer = nullptr;
    QLabel* lbSerNum = nullptr;
    QLabel* lbBattery = nullptr;
    QProgressBar* pbBattery = nullptr;
    QLabel* lbRecTime = nullptr;
    QLabel* lbTotalMem = nullptr;
    QLabel* lbMinRecTime = nullptr;
    QLabel* lbFreeMem = nullptr;
    QFrame* pnlBattery = nullptr;
    QFrame* pnlRecTime = nullptr;
    QFrame* pnlMemUse = nullptr;

    // Opened at start, kept until the first idle pass after the initialisation.
    QPointer<QWidget> Splash;
    // The overwrite question, reused by every batch; created on first use.
    QPointer<TfrmOverwrite> frmOverwrite;
};
