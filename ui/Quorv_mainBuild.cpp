// The construction of the main window's widgets: its actions, menus, tool bar and panes,
// each named as the translations and the tests find it.

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/Fileutils.h"
#include "ui/Quorv_main.h"
#include "ui/Quorv_mainConnectionKinds.h"
#include "ui/RecordList.h"
#include "ui/RecorderListView.h"

namespace {

QAction* MakeAction(QObject* parent, const char* name, const QString& caption,
                    const QKeySequence& key = {}) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    return action;
}

QFrame* CaptionPanel(const char* name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setAutoFillBackground(true);
    panel->setFrameShape(QFrame::NoFrame);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Inactive, QPalette::Highlight));
    palette.setColor(QPalette::WindowText,
                     palette.color(QPalette::Inactive, QPalette::HighlightedText));
    panel->setPalette(palette);
    return panel;
}

} // namespace

void TfrmQuorvMain::CreateActions() {
    actConnect = MakeAction(this, "actConnect", tr("Connect"));
    actDisconnect = MakeAction(this, "actDisconnect", tr("Disconnect"));
    actSyncClock = MakeAction(this, "actSyncClock", tr("Synchronize clock"));
    actRecRefresh = MakeAction(this, "actRecRefresh", tr("Refresh"));
    actFormat = MakeAction(this, "actFormat", tr("Format recorder memory"));
    actRecSettings = MakeAction(this, "actRecSettings", tr("Settings..."), Qt::Key_F9);
    actShowRec = MakeAction(this, "actShowRec", tr("Records"), Qt::Key_F3);
    actShowDrv = MakeAction(this, "actShowDrv", tr("Flash Drive"), Qt::Key_F4);
    actDrvLevelUp = MakeAction(this, "actDrvLevelUp", tr("Up one level"));
    actRecErase = MakeAction(this, "actRecErase", tr("Erase selected items"), Qt::Key_F8);
    actCopyToPC = MakeAction(this, "actCopyToPC", tr("Copy to PC"), Qt::Key_F5);
    actMoveToPC = MakeAction(this, "actMoveToPC", tr("Move to PC"), Qt::SHIFT | Qt::Key_F5);
    actCopyToDefFolder =
        MakeAction(this, "actCopyToDefFolder", tr("Copy to default folder"), Qt::Key_F6);
    actMoveToDefFolder = MakeAction(this, "actMoveToDefFolder", tr("Move to default folder"),
                                    Qt::SHIFT | Qt::Key_F6);
    actCopySelPart = MakeAction(this, "actCopySelPart", tr("Copy selected part..."));
    actCopyToRec = MakeAction(this, "actCopyToRec", tr("Copy to recorder"), Qt::ALT | Qt::Key_Left);
    actShowAddInfo =
        MakeAction(this, "actShowAddInfo", tr("Show wave-file info"), Qt::CTRL | Qt::Key_I);
    actExpDelete = MakeAction(this, "actExpDelete", tr("Delete"));
    actGoToDefFolder =
        MakeAction(this, "actGoToDefFolder", tr("Go to default folder"), Qt::CTRL | Qt::Key_G);
    actSetDefFolder = MakeAction(this, "actSetDefFolder", tr("Set as default folder"));
    actNewFolder = MakeAction(this, "actNewFolder", tr("New folder"));
    actFolderTree = MakeAction(this, "actFolderTree", tr("Folders"), Qt::CTRL | Qt::Key_T);
    actViewExp = MakeAction(this, "actViewExp", tr("Explorer Window"), Qt::CTRL | Qt::Key_E);
    actLevelUp = MakeAction(this, "actLevelUp", tr("Up one level"));
    actExpRefresh = MakeAction(this, "actExpRefresh", tr("Refresh"), Qt::CTRL | Qt::Key_R);
    Exit1 = MakeAction(this, "Exit1", tr("Exit"), Qt::ALT | Qt::Key_F4);
    About1 = MakeAction(this, "About1", tr("About..."));

    for (QAction* action : {actShowRec, actShowDrv, actFolderTree, actViewExp})
        action->setCheckable(true);
    actFolderTree->setChecked(true);
    actViewExp->setChecked(true);
    // The shortcuts work wherever the focus is inside the window, as with a previewing form.
    for (QAction* action : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }

    const QStyle* look = style();
    actConnect->setIcon(look->standardIcon(QStyle::SP_DriveNetIcon));
    actDisconnect->setIcon(look->standardIcon(QStyle::SP_BrowserStop));
    actRecRefresh->setIcon(look->standardIcon(QStyle::SP_BrowserReload));
    actCopyToPC->setIcon(look->standardIcon(QStyle::SP_ArrowRight));
    actMoveToPC->setIcon(look->standardIcon(QStyle::SP_MediaSeekForward));
    actCopyToDefFolder->setIcon(look->standardIcon(QStyle::SP_DialogSaveButton));
    actMoveToDefFolder->setIcon(look->standardIcon(QStyle::SP_DialogApplyButton));
    actCopyToRec->setIcon(look->standardIcon(QStyle::SP_ArrowLeft));
    actRecErase->setIcon(look->standardIcon(QStyle::SP_TrashIcon));
    actShowRec->setIcon(look->standardIcon(QStyle::SP_FileDialogDetailedView));
    actShowDrv->setIcon(look->standardIcon(QStyle::SP_DriveHDIcon));
    actRecSettings->setIcon(look->standardIcon(QStyle::SP_FileDialogInfoView));
    actFolderTree->setIcon(look->standardIcon(QStyle::SP_DirIcon));
    actViewExp->setIcon(look->standardIcon(QStyle::SP_DirOpenIcon));
    actGoToDefFolder->setIcon(look->standardIcon(QStyle::SP_DirHomeIcon));
    actLevelUp->setIcon(look->standardIcon(QStyle::SP_FileDialogToParent));
    actNewFolder->setIcon(look->standardIcon(QStyle::SP_FileDialogNewFolder));

    connect(actViewExp, &QAction::triggered, this, &TfrmQuorvMain::actViewExpExecute);
    connect(actFolderTree, &QAction::triggered, this, &TfrmQuorvMain::actFolderTreeExecute);
    connect(actGoToDefFolder, &QAction::triggered, this, &TfrmQuorvMain::actGoToDefFolderExecute);
    connect(actSetDefFolder, &QAction::triggered, this, &TfrmQuorvMain::actSetDefFolderExecute);
    connect(actExpRefresh, &QAction::triggered, this, &TfrmQuorvMain::actExpRefreshExecute);
    connect(actLevelUp, &QAction::triggered, this, [this] {
        QDir folder(ExplorerFolder());
        if (folder.cdUp())
            SetExplorerFolder(folder.absolutePath());
    });
    connect(Exit1, &QAction::triggered, this, &TfrmQuorvMain::Exit1Click);
    connect(About1, &QAction::triggered, this, &TfrmQuorvMain::About1Click);
    connect(actShowRec, &QAction::triggered, this, &TfrmQuorvMain::actShowRecExecute);
    connect(actShowDrv, &QAction::triggered, this, &TfrmQuorvMain::actShowDrvExecute);
    connect(actDrvLevelUp, &QAction::triggered, this, &TfrmQuorvMain::actDrvLevelUpExecute);
    connect(actRecRefresh, &QAction::triggered, this, &TfrmQuorvMain::actRecRefreshExecute);
    connect(actSyncClock, &QAction::triggered, this, &TfrmQuorvMain::actSyncClockExecute);
    connect(actConnect, &QAction::triggered, this, &TfrmQuorvMain::actConnectExecute);
    connect(actDisconnect, &QAction::triggered, this, &TfrmQuorvMain::actDisconnectExecute);
    connect(actNewFolder, &QAction::triggered, this, &TfrmQuorvMain::actNewFolderExecute);
    connect(actExpDelete, &QAction::triggered, this, &TfrmQuorvMain::actExpDeleteExecute);
    connect(actRecSettings, &QAction::triggered, this, &TfrmQuorvMain::actRecSettingsExecute);
    connect(actShowAddInfo, &QAction::triggered, this, &TfrmQuorvMain::actShowAddInfoExecute);
    actShowRec->setChecked(true);

    ViewStyleGroup = new QActionGroup(this);
    ViewStyleGroup->setObjectName(QStringLiteral("ViewStyleGroup"));
    const std::pair<QAction**, std::pair<const char*, QString>> styles[] = {
        {&mnLargeIcons, {"mnLargeIcons", tr("Large Icons")}},
        {&mnSmallIcons, {"mnSmallIcons", tr("Small Icons")}},
        {&mnList, {"mnList", tr("List")}},
        {&mnReport, {"mnReport", tr("Details")}},
    };
    int tag = 0;
    for (const auto& [slot, nameAndCaption] : styles) {
        *slot = MakeAction(ViewStyleGroup, nameAndCaption.first, nameAndCaption.second);
        (*slot)->setCheckable(true);
        (*slot)->setData(tag++);
        connect(*slot, &QAction::triggered, this,
                [this, action = *slot] { mnReportClick(action); });
    }
}

void TfrmQuorvMain::CreateConnectionMenu() {
    pmConnect = new QMenu(tr("Connection type"), this);
    pmConnect->setObjectName(QStringLiteral("pmConnect"));
    ConnectGroup = new QActionGroup(this);
    ConnectGroup->setObjectName(QStringLiteral("ConnectGroup"));
    ConnectGroup->setExclusive(true);
    for (const TConnectionKindItem& kind : ConnectionKinds) {
        QAction* item = MakeAction(ConnectGroup, kind.ItemName, tr(kind.Caption));
        item->setCheckable(true);
        item->setVisible(kind.Shown);
        item->setData(kind.Kind);
        pmConnect->addAction(item);
        if (kind.Kind == 3)
            pmConnect->addSeparator()->setObjectName(QStringLiteral("N1"));
        if (kind.Kind == 1)
            connect(item, &QAction::triggered, this, [this] { miImageFileClick(); });
        else
            connect(item, &QAction::triggered, this, [this, item] { miUSB20_ADPTClick(item); });
    }
    QAction* recentSeparator = pmConnect->addSeparator();
    recentSeparator->setObjectName(QStringLiteral("N2"));
    miDemo = findChild<QAction*>(QStringLiteral("miDemo"));
    miUSB11 = findChild<QAction*>(QStringLiteral("miUSB11"));
    miUSB20_ADPT = findChild<QAction*>(QStringLiteral("miUSB20_ADPT"));
    miUSB20_SPI = findChild<QAction*>(QStringLiteral("miUSB20_SPI"));
    miK71_ADPT = findChild<QAction*>(QStringLiteral("miK71_ADPT"));
    miImageFile = findChild<QAction*>(QStringLiteral("miImageFile"));
    miDemo->setChecked(true);
}

void TfrmQuorvMain::CreateMenus() {
    File1 = menuBar()->addMenu(tr("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    File1->addAction(actCopyToPC);
    File1->addAction(actMoveToPC);
    File1->addAction(actCopyToDefFolder);
    File1->addAction(actMoveToDefFolder);
    File1->addAction(actCopySelPart);
    File1->addAction(actCopyToRec);
    File1->addSeparator()->setObjectName(QStringLiteral("N3"));
    File1->addAction(actShowAddInfo);
    File1->addSeparator()->setObjectName(QStringLiteral("N4"));
    File1->addAction(Exit1);

    Recorder1 = menuBar()->addMenu(tr("&Recorder"));
    Recorder1->setObjectName(QStringLiteral("Recorder1"));
    Recorder1->addAction(actConnect);
    Recorder1->addAction(actDisconnect);
    // The hidden "Connection type" item holds the place (and the translated caption) of
    // the connection menu, which is inserted before it.
    miConnectType = MakeAction(this, "miConnectType", tr("Connection type"));
    miConnectType->setVisible(false);
    Recorder1->addAction(miConnectType);
    ConnectionMenuRoot = pmConnect->menuAction();
    ConnectionMenuRoot->setObjectName(QStringLiteral("ConnectionMenuRoot"));
    ConnectionMenuRoot->setText(miConnectType->text());
    Recorder1->insertAction(miConnectType, ConnectionMenuRoot);
    Recorder1->addSeparator()->setObjectName(QStringLiteral("N5"));
    Recorder1->addAction(actRecRefresh);
    Recorder1->addAction(actShowRec);
    Recorder1->addAction(actShowDrv);
    Recorder1->addAction(actDrvLevelUp);
    Recorder1->addSeparator()->setObjectName(QStringLiteral("N6"));
    Recorder1->addAction(actRecErase);
    Recorder1->addAction(actFormat);
    Recorder1->addAction(actSyncClock);
    Recorder1->addSeparator()->setObjectName(QStringLiteral("N7"));
    Recorder1->addAction(actRecSettings);

    View1 = menuBar()->addMenu(tr("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    View1->addAction(actViewExp);
    View1->addAction(actFolderTree);
    pmViewStyle = View1->addMenu(tr("View style"));
    pmViewStyle->setObjectName(QStringLiteral("pmViewStyle"));
    pmViewStyle->addActions(ViewStyleGroup->actions());
    View1->addSeparator()->setObjectName(QStringLiteral("N8"));
    View1->addAction(actGoToDefFolder);
    View1->addAction(actSetDefFolder);
    View1->addAction(actNewFolder);
    View1->addAction(actLevelUp);
    View1->addAction(actExpDelete);
    View1->addAction(actExpRefresh);

    Language1 = menuBar()->addMenu(tr("&Language"));
    Language1->setObjectName(QStringLiteral("Language1"));
    LanguageGroup = new QActionGroup(this);
    LanguageGroup->setObjectName(QStringLiteral("LanguageGroup"));
    LanguageGroup->setExclusive(true);

    Help1 = menuBar()->addMenu(tr("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->addAction(About1);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addActions(
        {actCopyToPC, actMoveToPC, actCopyToDefFolder, actMoveToDefFolder, actRecErase});
}

void TfrmQuorvMain::CreateToolBar() {
    ToolBar1 = addToolBar(tr("Tool bar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->hide(); // shown by the initialisation

    auto button = [this](const char* name, QAction* action) {
        auto* tool = new QToolButton(ToolBar1);
        tool->setObjectName(QString::fromLatin1(name));
        tool->setDefaultAction(action);
        tool->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        ToolBar1->addWidget(tool);
        return tool;
    };
    tlbtnConnect = button("tlbtnConnect", actConnect);
    button("tlbtnDisconnect", actDisconnect);
    button("tlbtnRefresh", actRecRefresh);
    ToolBar1->addSeparator();
    tlbtnCopyToPC = button("tlbtnCopyToPC", actCopyToPC);
    tlbtnCopyToDefFolder = button("tlbtnCopyToDefFolder", actCopyToDefFolder);
    button("tlbtnCopyToRec", actCopyToRec);
    button("tlbtnErase", actRecErase);
    ToolBar1->addSeparator();
    button("tlbtnShowRec", actShowRec);
    button("tlbtnShowDrv", actShowDrv);
    button("tlbtnSettings", actRecSettings);
    ToolBar1->addSeparator();
    // The explorer's own buttons show their icons only; their names are in the tips.
    for (QToolButton* tool :
         {button("tlbtnViewExp", actViewExp), button("tlbtnFolderTree", actFolderTree)})
        tool->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tlbtnViewStyle = new QToolButton(ToolBar1);
    tlbtnViewStyle->setObjectName(QStringLiteral("tlbtnViewStyle"));
    tlbtnViewStyle->setText(tr("View"));
    tlbtnViewStyle->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tlbtnViewStyle->setToolTip(tr("View style"));
    tlbtnViewStyle->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    tlbtnViewStyle->setMenu(pmViewStyle);
    tlbtnViewStyle->setPopupMode(QToolButton::InstantPopup);
    ToolBar1->addWidget(tlbtnViewStyle);
}

void TfrmQuorvMain::CreatePanels() {
    mainPanel = new QWidget(this);
    mainPanel->setObjectName(QStringLiteral("mainPanel"));
    auto* mainLayout = new QVBoxLayout(mainPanel);
    mainLayout->setContentsMargins(2, 2, 2, 2);
    mainLayout->setSpacing(2);

    Splitter1 = new QSplitter(Qt::Horizontal, mainPanel);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    pnlRecContent = CreateRecorderPane();
    pnlExpWindow = CreateExplorerPane();
    Splitter1->addWidget(pnlRecContent);
    Splitter1->addWidget(pnlExpWindow);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
        if (pnlExpWindow->isVisible())
            ExpWidth = Splitter1->sizes().value(1, ExpWidth);
    });
    mainLayout->addWidget(Splitter1, 1);

    // The status panel's place; its items come with the connection handling.
    pnlStatus = new QFrame(mainPanel);
    pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
    pnlStatus->setFrameShape(QFrame::StyledPanel);
    pnlStatus->setMinimumHeight(24);
    pnlStatus->hide();
    mainLayout->addWidget(pnlStatus);

    setCentralWidget(mainPanel);
    mainPanel->hide(); // shown at the end of the initialisation
}

QWidget* TfrmQuorvMain::CreateRecorderPane() {
    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("pnlRecContent"));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    pnlRecCaption = CaptionPanel("pnlRecCaption", pane);
    auto* captionLayout = new QHBoxLayout(pnlRecCaption);
    captionLayout->setContentsMargins(6, 3, 6, 3);
    lblRecContent = new QLabel(tr("Recorder"), pnlRecCaption);
    lblRecContent->setObjectName(QStringLiteral("lblRecContent"));
    lbDemo = new QLabel(pnlRecCaption);
    lbDemo->setObjectName(QStringLiteral("lbDemo"));
    lbDemo->setStyleSheet(QStringLiteral("color: lime; font-weight: bold;"));
    captionLayout->addWidget(lblRecContent);
    captionLayout->addStretch(1);
    captionLayout->addWidget(lbDemo);
    layout->addWidget(pnlRecCaption);

    pnlRecorder = new QWidget(pane);
    pnlRecorder->setObjectName(QStringLiteral("pnlRecorder"));
    auto* recorderLayout = new QVBoxLayout(pnlRecorder);
    recorderLayout->setContentsMargins(0, 2, 0, 0);
    recorderLayout->setSpacing(2);
    pnlRecLocation = new QWidget(pnlRecorder);
    pnlRecLocation->setObjectName(QStringLiteral("pnlRecLocation"));
    auto* locationLayout = new QHBoxLayout(pnlRecLocation);
    locationLayout->setContentsMargins(0, 0, 0, 0);
    cbexRecLocation = new QComboBox(pnlRecLocation);
    cbexRecLocation->setObjectName(QStringLiteral("cbexRecLocation"));
    cbexRecLocation->addItem(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                             tr("Records"));
    locationLayout->addWidget(cbexRecLocation); // the combo box fills its panel
    pnlRecLocation->setFixedHeight(cbexRecLocation->sizeHint().height());
    recorderLayout->addWidget(pnlRecLocation);

    RecModel = new TRecordListModel(*RecList, this);
    RecModel->setObjectName(QStringLiteral("RecModel"));
    RecModel->Captions =
        QStringList{tr("Name"), tr("Size"), tr("Date"), tr("Duration"), tr("Mode"), tr("Status")};
    DrvModel = new TDriveListModel(*ShownDrvList, this);
    DrvModel->setObjectName(QStringLiteral("DrvModel"));
    DrvModel->Captions = QStringList{tr("Name"), tr("Size"), tr("Date")};
    RecModel->SetRowCount(0);
    DrvModel->SetRowCount(0);
    auto listView = [this](const char* name, QAbstractItemModel* model) {
        auto* view = new TRecorderListView(pnlRecorder);
        view->setObjectName(QString::fromLatin1(name));
        view->setModel(model);
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->header()->setSortIndicatorShown(true);
        view->header()->setSectionsClickable(true);
        view->header()->setStretchLastSection(false);
        return view;
    };
    lvRecContent = listView("lvRecContent", RecModel);
    // Name, size, date, duration, mode and status fit the pane's width at its start size.
    const int recWidths[] = {60, 80, 135, 65, 150, 110};
    for (int column = 0; column < 6; ++column)
        lvRecContent->setColumnWidth(column, recWidths[column]);
    lvDrvContent = listView("lvDrvContent", DrvModel);
    lvDrvContent->setColumnWidth(0, 200);
    lvDrvContent->setColumnWidth(1, 90);
    lvDrvContent->setColumnWidth(2, 140);
    lvDrvContent->hide();
    recorderLayout->addWidget(lvRecContent, 1);
    recorderLayout->addWidget(lvDrvContent, 1);
    layout->addWidget(pnlRecorder, 1);

    // Shown in place of the recorder pane while no recorder answers.
    lbErrorState = new QLabel(pane);
    lbErrorState->setObjectName(QStringLiteral("lbErrorState"));
    lbErrorState->setAlignment(Qt::AlignCenter);
    lbErrorState->setWordWrap(true);
    lbErrorState->hide();
    layout->addWidget(lbErrorState, 1);
    return pane;
}

QWidget* TfrmQuorvMain::CreateExplorerPane() {
    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("pnlExpWindow"));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    pnlExpCaption = CaptionPanel("pnlExpCaption", pane);
    auto* captionLayout = new QHBoxLayout(pnlExpCaption);
    captionLayout->setContentsMargins(6, 1, 1, 1);
    lblExplorer = new QLabel(tr("Explorer"), pnlExpCaption);
    lblExplorer->setObjectName(QStringLiteral("lblExplorer"));
    _spbtnExpClose = new QToolButton(pnlExpCaption);
    _spbtnExpClose->setObjectName(QStringLiteral("_spbtnExpClose"));
    _spbtnExpClose->setAutoRaise(true);
    _spbtnExpClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    _spbtnExpClose->setIconSize(QSize(12, 12));
    connect(_spbtnExpClose, &QToolButton::clicked, this, &TfrmQuorvMain::_spbtnExpCloseClick);
    captionLayout->addWidget(lblExplorer);
    captionLayout->addStretch(1);
    captionLayout->addWidget(_spbtnExpClose, 0, Qt::AlignRight);
    layout->addWidget(pnlExpCaption);

    FolderModel = new QFileSystemModel(this);
    FolderModel->setObjectName(QStringLiteral("FolderModel"));
    FolderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FolderModel->setRootPath(QDir::rootPath());
    ShellModel = new QFileSystemModel(this);
    ShellModel->setObjectName(QStringLiteral("ShellModel"));
    ShellModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs);
    // Writable for renaming in place only (a new folder's name); drops never reach the model.
    ShellModel->setReadOnly(false);

    ShellComboBox1 = new QComboBox(pane);
    ShellComboBox1->setObjectName(QStringLiteral("ShellComboBox1"));
    ShellComboBox1->setEditable(true);
    ShellComboBox1->setInsertPolicy(QComboBox::NoInsert);
    connect(ShellComboBox1, &QComboBox::activated, this,
            [this](int) { SetExplorerFolder(ShellComboBox1->currentText()); });
    layout->addWidget(ShellComboBox1);

    Splitter2 = new QSplitter(Qt::Horizontal, pane);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    ShellTreeView1 = new QTreeView(Splitter2);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(FolderModel);
    ShellTreeView1->setHeaderHidden(true);
    for (int column = 1; column < FolderModel->columnCount(); ++column)
        ShellTreeView1->hideColumn(column);
    // Only the user's moves in the tree count (a click or a key gives it the focus first):
    // the model replacing a row it has just loaded moves the current row to a neighbour,
    // which must not take the explorer away from a folder typed into the address box.
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && ShellTreeView1->hasFocus())
                    SetExplorerFolder(FolderModel->filePath(current));
            });

    pnlShellList = new QStackedWidget(Splitter2);
    pnlShellList->setObjectName(QStringLiteral("pnlShellList"));
    ShellListView1 = new QTreeView(pnlShellList);
    ShellListView1->setObjectName(QStringLiteral("ShellListView1"));
    ShellListView1->setModel(ShellModel);
    ShellListView1->setRootIsDecorated(false);
    ShellListView1->setItemsExpandable(false);
    ShellListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShellListView1->setSortingEnabled(true);
    ShellListView1->sortByColumn(0, Qt::AscendingOrder);
    ShellListView1->setColumnWidth(0, 180);
    ShellIconView1 = new QListView(pnlShellList);
    ShellIconView1->setObjectName(QStringLiteral("ShellIconView1"));
    ShellIconView1->setModel(ShellModel);
    ShellIconView1->setSelectionModel(ShellListView1->selectionModel());
    ShellIconView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShellIconView1->setResizeMode(QListView::Adjust);
    pnlShellList->addWidget(ShellListView1);
    pnlShellList->addWidget(ShellIconView1);
    // Names are edited with F2 (and a new folder's at once); a double click opens.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(ShellListView1),
                                    static_cast<QAbstractItemView*>(ShellIconView1)})
        view->setEditTriggers(QAbstractItemView::EditKeyPressed);
    auto openFolder = [this](const QModelIndex& index) {
        if (index.isValid() && ShellModel->isDir(index))
            SetExplorerFolder(ShellModel->filePath(index));
    };
    connect(ShellListView1, &QTreeView::doubleClicked, this, openFolder);
    connect(ShellIconView1, &QListView::doubleClicked, this, openFolder);
    Splitter2->addWidget(ShellTreeView1);
    Splitter2->addWidget(pnlShellList);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    connect(Splitter2, &QSplitter::splitterMoved, this, [this] {
        if (ShellTreeView1->isVisible())
            FoldersWidth = Splitter2->sizes().value(0, FoldersWidth);
    });
    layout->addWidget(Splitter2, 1);
    return pane;
}
