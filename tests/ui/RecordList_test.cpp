#include <fstream>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "platform/ByteOrder.h"
#include "tests/support/ModalScript.h"
#include "ui/Fileutils.h"
#include "ui/Quorv_main.h"
#include "ui/RecordList.h"
#include "widgets/Mainutils.h"
#include "widgets/ProgramOptions.h"

namespace {

TSystemTime At(int day, int hour = 12, int minute = 0, int second = 0) {
    TSystemTime t;
    t.Year = 2024;
    t.Month = 5;
    t.Day = static_cast<std::uint16_t>(day);
    t.Hour = static_cast<std::uint16_t>(hour);
    t.Minute = static_cast<std::uint16_t>(minute);
    t.Second = static_cast<std::uint16_t>(second);
    return t;
}

// Records and their voice parts as the engine describes them; the list copies them.
struct TRecords {
    std::vector<std::unique_ptr<TSoundFileInfo>> Owned;

    TSoundFileInfo& Record(std::uint16_t number, std::int64_t size, TSystemTime start,
                           std::uint32_t duration) {
        auto info = std::make_unique<TSoundFileInfo>();
        info->Number = number;
        info->Name = std::to_string(number);
        info->Size = size;
        info->Start = start;
        info->Duration = duration;
        Owned.push_back(std::move(info));
        return *Owned.back();
    }
    // A part whose own values would sort it far from its record if it were a record.
    std::unique_ptr<TRecordItem> Part(TSoundFileInfo& parent, std::uint16_t part) {
        auto item = std::make_unique<TRecordItem>();
        item->Number = part;
        item->Name = parent.Name + "." + std::to_string(part);
        item->Size = 1'000'000 - part;
        item->Start = At(28 - part);
        item->Duration = 9000 - part;
        item->Parent = &parent;
        return item;
    }
    std::unique_ptr<TRecordItem> Item(const TSoundFileInfo& info) {
        auto item = std::make_unique<TRecordItem>();
        item->Assign(info);
        return item;
    }
};

std::vector<std::string> Names(const TRecordList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        names.push_back(list.GetItem(i)->Name);
    return names;
}

TEST(RecordList, EqualKeysFallBackToTheRecordNumberInBothDirections) {
    TRecords records;
    TRecordList list;
    for (std::uint16_t number : {5, 2, 9})
        list.Add(records.Item(records.Record(number, 4096, At(3), 60)));
    for (std::uint32_t mode : {RecSortBySize, RecSortByDate, RecSortByDuration, RecSortNone}) {
        list.SetSortMode(mode);
        list.Sort();
        EXPECT_EQ(Names(list), (std::vector<std::string>{"2", "5", "9"})) << mode;
        list.SetAscending(false);
        list.Sort();
        EXPECT_EQ(Names(list), (std::vector<std::string>{"9", "5", "2"})) << mode;
        list.SetAscending(true);
    }
}

TEST(RecordList, EachModeOrdersByItsKey) {
    TRecords records;
    TRecordList list;
    list.Add(records.Item(records.Record(1, 300, At(2), 10)));
    list.Add(records.Item(records.Record(2, 100, At(3), 30)));
    list.Add(records.Item(records.Record(3, 200, At(1), 20)));
    struct TCase {
        std::uint32_t Mode;
        std::vector<std::string> Ascending;
    };
    const TCase cases[] = {
        {RecSortByNumber, {"1", "2", "3"}},
        {RecSortBySize, {"2", "3", "1"}},
        {RecSortByDate, {"3", "1", "2"}},
        {RecSortByDuration, {"1", "3", "2"}},
    };
    for (const TCase& c : cases) {
        list.SetSortMode(c.Mode); // a new mode sorts ascending at once
        EXPECT_TRUE(list.Ascending());
        EXPECT_EQ(Names(list), c.Ascending) << c.Mode;
        list.SetAscending(false);
        EXPECT_EQ(Names(list), std::vector<std::string>(c.Ascending.rbegin(), c.Ascending.rend()))
            << c.Mode;
    }
}

TEST(RecordList, DatesCompareDownToTheSecondAcrossMonthsAndYears) {
    TRecords records;
    TRecordList list;
    TSystemTime lateOld = At(31, 23, 59, 59);
    lateOld.Year = 2023;
    lateOld.Month = 12;
    TSystemTime earlyNew = At(1, 0, 0, 0);
    earlyNew.Month = 1;
    list.Add(records.Item(records.Record(1, 1, At(1, 10, 0, 1), 1)));
    list.Add(records.Item(records.Record(2, 1, earlyNew, 1)));
    list.Add(records.Item(records.Record(3, 1, At(1, 10, 0, 0), 1)));
    list.Add(records.Item(records.Record(4, 1, lateOld, 1)));
    list.SetSortMode(RecSortByDate);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"4", "2", "3", "1"}));
}

// A size difference beyond 32 bits once wrapped and put a 4 GB recording before a small one.
TEST(RecordList, SizesAndDurationsCompareAtFullWidth) {
    TRecords records;
    TRecordList list;
    list.Add(records.Item(records.Record(1, 0x1'0000'0400LL, At(1), 0xF000'0000u)));
    list.Add(records.Item(records.Record(2, 0x800, At(1), 5)));
    list.Add(records.Item(records.Record(3, 0x8000'0900LL, At(1), 0x7000'0000u)));
    list.SetSortMode(RecSortBySize);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"2", "3", "1"}));
    list.SetSortMode(RecSortByDuration);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"2", "3", "1"}));
}

TEST(RecordList, VoicePartsFollowTheirRecordInRisingPartNumberInEveryModeAndDirection) {
    TRecords records;
    TRecordList list;
    TSoundFileInfo& a = records.Record(4, 500, At(4), 40);
    TSoundFileInfo& b = records.Record(7, 200, At(9), 70);
    TSoundFileInfo& c = records.Record(1, 900, At(1), 10);
    // Added in a scrambled order: parts before records, parts of one record reversed.
    list.Add(records.Part(a, 3));
    list.Add(records.Item(b));
    list.Add(records.Part(a, 1));
    list.Add(records.Part(b, 2));
    list.Add(records.Item(a));
    list.Add(records.Part(a, 2));
    list.Add(records.Item(c));
    list.Add(records.Part(b, 1));
    const std::vector<std::string> partsOf4 = {"4", "4.1", "4.2", "4.3"};
    const std::vector<std::string> partsOf7 = {"7", "7.1", "7.2"};
    for (std::uint32_t mode :
         {RecSortNone, RecSortByNumber, RecSortBySize, RecSortByDate, RecSortByDuration}) {
        for (bool ascending : {true, false}) {
            list.SetSortMode(mode);
            list.SetAscending(ascending);
            list.Sort();
            const std::vector<std::string> names = Names(list);
            const auto at = [&](const std::string& name) {
                return std::find(names.begin(), names.end(), name) - names.begin();
            };
            for (const auto* group : {&partsOf4, &partsOf7}) {
                const auto first = at(group->front());
                for (std::size_t k = 0; k < group->size(); ++k)
                    EXPECT_EQ(at((*group)[k]), first + static_cast<long>(k))
                        << "mode " << mode << " ascending " << ascending << " " << (*group)[k];
            }
        }
    }
    list.SetSortMode(RecSortBySize);
    list.SetAscending(true);
    EXPECT_EQ(Names(list),
              (std::vector<std::string>{"7", "7.1", "7.2", "4", "4.1", "4.2", "4.3", "1"}));
}

TEST(RecordList, TheSameModeOrDirectionAgainChangesNothing) {
    TRecords records;
    TRecordList list;
    list.Add(records.Item(records.Record(3, 1, At(1), 1)));
    list.Add(records.Item(records.Record(1, 2, At(1), 1)));
    list.SetSortMode(RecSortNone); // mode 0 neither sorts nor turns the order
    EXPECT_EQ(Names(list), (std::vector<std::string>{"3", "1"}));
    list.SetAscending(false); // nor does a direction in mode 0
    EXPECT_EQ(Names(list), (std::vector<std::string>{"3", "1"}));
    list.SetSortMode(RecSortBySize); // a new mode is ascending again
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Names(list), (std::vector<std::string>{"3", "1"}));
    EXPECT_EQ(list.GetItem(2), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
}

TEST(RecordRowTexts, SizesDatesDurationsAndStatus) {
    struct TSizeCase {
        std::int64_t Bytes;
        const char* Text;
    };
    const TSizeCase sizes[] = {
        {0, "0 KB"}, {1, "1 KB"}, {1024, "1 KB"}, {1025, "2 KB"}, {2048000, "2,000 KB"}};
    for (const TSizeCase& c : sizes)
        EXPECT_EQ(SizeKbText(c.Bytes), QString::fromLatin1(c.Text)) << c.Bytes;

    EXPECT_EQ(RecordDateText(At(7, 9, 5, 3)), QStringLiteral("07.05.2024 09:05:03"));
    EXPECT_EQ(DriveDateText(At(7, 9, 5, 3)), QStringLiteral("07.05.2024 09:05:03 "));

    TRecordItem record;
    record.Name = "12";
    record.Size = 5000;
    record.Start = At(2, 8, 30, 0);
    record.Duration = 3725;
    record.ModeText = "8 kHz";
    const std::pair<std::uint8_t, const char*> statuses[] = {{0x55, "rsDownloadedStr"},
                                                             {0xAA, "rsUploadedStr"},
                                                             {0xFF, "rsNonDownloadedStr"},
                                                             {0x00, "rsNonDownloadedStr"}};
    for (const auto& [status, constant] : statuses) {
        record.Status = status;
        EXPECT_EQ(RecordRowTexts(record), (QStringList{"12", "5 KB", "02.05.2024 08:30:00",
                                                       "01:02:05", "8 kHz", Lang(constant)}))
            << int(status);
    }

    TSoundFileInfo parent;
    TRecordItem part;
    part.Assign(record);
    part.Name = "12.1";
    part.Parent = &parent;
    EXPECT_EQ(RecordRowTexts(part),
              (QStringList{"     12.1", "5 KB", "02.05.2024 08:30:00", "01:02:05"}));

    TFileListItem folder;
    folder.Name = "Music";
    folder.IsFolder = 1;
    folder.Time = At(1);
    EXPECT_EQ(DriveRowTexts(folder).value(1), QStringLiteral("Dir"));
}

TEST(RecordListModel, RowsBeyondTheListAreEmptyAndTheTipListsEveryColumn) {
    TRecords records;
    TRecordList list;
    list.Add(records.Item(records.Record(3, 2048, At(1), 61)));
    TRecordListModel model(list);
    model.Captions = QStringList{"Name", "Size", "Date", "Duration", "Mode", "Status"};
    model.SetRowCount(2);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("2 KB"));
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.InfoTip(0), QStringLiteral("Name: 3\n\rSize: 2 KB\n\rDate: 01.05.2024 "
                                               "12:00:00\n\rDuration: 00:01:01\n\rMode: "
                                               "\n\rStatus: ") +
                                    Lang("rsNonDownloadedStr"));
    EXPECT_TRUE(model.InfoTip(1).isEmpty());
}

// What both views' models share: the row count they were told, one column a caption, only
// existing horizontal captions written, and a repaint over every shown cell.
TEST(RecordListModel, BothModelsCountRowsAndCaptionsAlike) {
    TRecordList records;
    TFileList drive;
    TRecordListModel recordModel(records);
    TDriveListModel driveModel(drive);
    struct TCase {
        const char* Name;
        TOwnerDataModel* Model;
    };
    for (const TCase c : {TCase{"records", &recordModel}, TCase{"drive", &driveModel}}) {
        SCOPED_TRACE(c.Name);
        TOwnerDataModel& model = *c.Model;
        model.Captions = QStringList{"Name", "Size", "Date"};
        model.SetRowCount(-3);
        EXPECT_EQ(model.rowCount(), 0);
        model.SetRowCount(4);
        EXPECT_EQ(model.rowCount(), 4);
        EXPECT_EQ(model.columnCount(), 3);
        EXPECT_EQ(model.rowCount(model.index(0, 0)), 0); // no row has children
        EXPECT_EQ(model.columnCount(model.index(0, 0)), 0);

        EXPECT_TRUE(model.setHeaderData(1, Qt::Horizontal, "Größe"));
        EXPECT_FALSE(model.setHeaderData(3, Qt::Horizontal, "beyond"));
        EXPECT_FALSE(model.setHeaderData(-1, Qt::Horizontal, "before"));
        EXPECT_FALSE(model.setHeaderData(0, Qt::Vertical, "row"));
        EXPECT_FALSE(model.setHeaderData(0, Qt::Horizontal, "tip", Qt::ToolTipRole));
        EXPECT_EQ(model.Captions, (QStringList{"Name", "Größe", "Date"}));
        EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Größe");
        EXPECT_FALSE(model.headerData(1, Qt::Vertical, Qt::DisplayRole).isValid());

        EXPECT_EQ(model.flags(model.index(0, 0)),
                  Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
        EXPECT_EQ(model.flags(QModelIndex()), Qt::NoItemFlags);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.Repaint();
        ASSERT_EQ(changed.size(), 1);
        EXPECT_EQ(changed[0][0].toModelIndex(), model.index(0, 0));
        EXPECT_EQ(changed[0][1].toModelIndex(), model.index(3, 2));
        model.SetRowCount(0);
        model.Repaint();
        EXPECT_EQ(changed.size(), 1); // nothing shown, nothing to repaint
    }
}

// The recorder views of a window without a recorder, filled by the test.
class RecorderViews : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        Window = std::make_unique<TfrmQuorvMain>();
    }
    void TearDown() override {
        Window.reset();
        ProgramOptions = TProgramOptions{};
    }
    void AddDrive(const std::string& folderPath, const std::string& name, bool folder,
                  std::int64_t size = 10) {
        TFileListItem item;
        item.FolderPath = folderPath;
        item.Name = name;
        item.IsFolder = folder ? 1 : 0;
        item.Size = size;
        Window->DriveList().AddCopy(item);
    }
    void ShowDrive(const std::string& path) {
        Window->actShowDrvExecute();
        Window->ShownDriveList().SetSourceList(&Window->DriveList());
        Window->ShownDriveList().SetFilterPath(path);
        Window->ShownDriveList().Refresh();
        Window->Widgets().DrvModel->SetRowCount(Window->ShownDriveList().Count());
        Window->FillLocationCombo();
    }
    QStringList LocationCaptions() const {
        QStringList captions;
        for (int i = 0; i < Window->Widgets().cbexRecLocation->count(); ++i)
            captions << Window->Widgets().cbexRecLocation->itemText(i).trimmed();
        return captions;
    }
    int RowOf(const char* name) const {
        for (int i = 0; i < Window->ShownDriveList().Count(); ++i)
            if (Window->ShownDriveList().Item(i).Name == name)
                return i;
        return -1;
    }

    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST_F(RecorderViews, TheLocationComboFollowsTheShownFolder) {
    AddDrive("\\", "Music", true);
    AddDrive("\\Music\\", "Old", true);
    AddDrive("\\Music\\Old\\", "a.mp3", false);
    AddDrive("\\Music\\", "b.mp3", false);
    Window->actShowRecExecute();
    EXPECT_EQ(LocationCaptions(), QStringList{"Records"});

    ShowDrive("\\Music\\Old\\");
    EXPECT_EQ(LocationCaptions(), (QStringList{"Flash Drive", "Music", "Old"}));
    EXPECT_EQ(Window->Widgets().cbexRecLocation->currentIndex(), 2);

    Window->cbexRecLocationChange(1); // choosing Music
    EXPECT_EQ(Window->ShownDriveList().FilterPath(), "\\Music\\");
    EXPECT_EQ(LocationCaptions(), (QStringList{"Flash Drive", "Music"}));
    EXPECT_EQ(Window->Widgets().DrvModel->rowCount(), 2); // Old and b.mp3

    Window->cbexRecLocationChange(0);
    EXPECT_EQ(Window->ShownDriveList().FilterPath(), "\\");
    EXPECT_EQ(Window->Widgets().DrvModel->rowCount(), 1);

    // Enter on the selected folder opens it; Backspace goes up again.
    Window->Widgets().lvDrvContent->setCurrentIndex(
        Window->Widgets().DrvModel->index(RowOf("Music"), 0));
    EXPECT_TRUE(Window->lvDrvContentKeyDown(Qt::Key_Return, Qt::NoModifier));
    EXPECT_EQ(Window->ShownDriveList().FilterPath(), "\\Music\\");
    EXPECT_EQ(LocationCaptions(), (QStringList{"Flash Drive", "Music"}));
    Window->actDrvLevelUpExecute();
    EXPECT_EQ(Window->ShownDriveList().FilterPath(), "\\");
}

TEST_F(RecorderViews, ASelectedFolderIsCollectedWithEverythingBelowIt) {
    AddDrive("\\", "Music", true);
    AddDrive("\\Music\\", "Old", true);
    AddDrive("\\Music\\Old\\", "a.mp3", false);
    AddDrive("\\Music\\", "b.mp3", false);
    AddDrive("\\", "c.txt", false);
    ShowDrive("\\");
    Window->SelectRows(Window->Widgets().lvDrvContent, {RowOf("Music")});
    Window->CollectSelectedDriveFiles();
    std::vector<std::string> paths;
    for (int i = 0; i < Window->SelectedDriveList().Count(); ++i) {
        const TFileListItem& item = Window->SelectedDriveList().Item(i);
        paths.push_back(item.FolderPath + item.Name);
    }
    std::sort(paths.begin(), paths.end());
    // Relative to the shown folder, as the downloads rebuild them below their target.
    EXPECT_EQ(paths, (std::vector<std::string>{"Music", "Music\\Old", "Music\\Old\\a.mp3",
                                               "Music\\b.mp3"}));
}

TEST_F(RecorderViews, ColumnClicksSortTheRecordsAndShowTheDirection) {
    TRecords records;
    TRecordList& list = Window->RecordList();
    list.Add(records.Item(records.Record(2, 300, At(1), 5)));
    list.Add(records.Item(records.Record(1, 100, At(3), 9)));
    list.Add(records.Item(records.Record(3, 200, At(2), 7)));
    Window->Widgets().RecModel->SetRowCount(list.Count());
    QHeaderView* header = Window->Widgets().lvRecContent->header();
    struct TClick {
        int Column;
        std::vector<std::string> Order;
        Qt::SortOrder Indicator;
    };
    const TClick clicks[] = {
        {1, {"1", "3", "2"}, Qt::AscendingOrder}, {1, {"2", "3", "1"}, Qt::DescendingOrder},
        {2, {"2", "3", "1"}, Qt::AscendingOrder}, {3, {"2", "3", "1"}, Qt::AscendingOrder},
        {4, {"1", "2", "3"}, Qt::AscendingOrder}, {5, {"3", "2", "1"}, Qt::DescendingOrder},
        {0, {"1", "2", "3"}, Qt::AscendingOrder}, {0, {"3", "2", "1"}, Qt::DescendingOrder},
    };
    for (const TClick& click : clicks) {
        Window->lvRecContentColumnClick(click.Column);
        EXPECT_EQ(Names(list), click.Order) << click.Column;
        EXPECT_EQ(header->sortIndicatorSection(), click.Column);
        EXPECT_EQ(header->sortIndicatorOrder(), click.Indicator) << click.Column;
    }
    // Row i shows entry i.
    EXPECT_EQ(Window->Widgets().RecModel->index(0, 0).data().toString(), QStringLiteral("3"));
}

TEST_F(RecorderViews, CtrlASelectsWholeRecordsOrThePartsOfOneRecord) {
    TRecords records;
    TRecordList& list = Window->RecordList();
    TSoundFileInfo& a = records.Record(1, 10, At(1), 1);
    TSoundFileInfo& b = records.Record(2, 10, At(1), 1);
    list.Add(records.Item(a));
    list.Add(records.Part(a, 1));
    list.Add(records.Part(a, 2));
    list.Add(records.Item(b));
    list.Add(records.Part(b, 1));
    list.Sort();
    Window->Widgets().RecModel->SetRowCount(list.Count());
    Window->SelectRows(Window->Widgets().lvRecContent, {3});
    EXPECT_TRUE(Window->lvRecContentKeyDown(Qt::Key_A, Qt::ControlModifier));
    EXPECT_EQ(Window->SelectedRows(Window->Widgets().lvRecContent), (std::vector<int>{0, 3}));
    Window->SelectRows(Window->Widgets().lvRecContent, {2, 4});
    EXPECT_TRUE(Window->lvRecContentKeyDown(Qt::Key_A, Qt::ControlModifier));
    EXPECT_EQ(Window->SelectedRows(Window->Widgets().lvRecContent), (std::vector<int>{1, 2}));
    // Ctrl with Shift is another key; Ctrl+S is consumed even when it may do nothing.
    EXPECT_FALSE(Window->lvRecContentKeyDown(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_TRUE(Window->lvRecContentKeyDown(Qt::Key_S, Qt::ControlModifier));
}

// The explorer side of an initialised window whose explorer shows a folder of the test.
class ExplorerSide : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        ProgramOptions.DefFolder = Dir.path();
        Window = std::make_unique<TfrmQuorvMain>();
        Window->InitMainForm(Dir.filePath("Quorvex"));
    }
    void TearDown() override {
        Window.reset();
        ProgramOptions = TProgramOptions{};
    }
    void Select(const QString& name) {
        auto* model = static_cast<QFileSystemModel*>(Window->Widgets().ShellListView1->model());
        const QModelIndex index = model->index(Dir.filePath(name));
        ASSERT_TRUE(index.isValid()) << name.toStdString();
        Window->Widgets().ShellListView1->selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    QTemporaryDir Dir;
    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST_F(ExplorerSide, TheWaveInfoOpensOnlyForAWaveFile) {
    std::ofstream(Dir.filePath("notes.txt").toStdString()) << "not a wave";
    QDir(Dir.path()).mkdir("sub");
    std::vector<std::uint8_t> wave(44 + 16);
    std::memcpy(&wave[0], "RIFF", 4);
    PutU32(&wave[4], 36 + 16);
    std::memcpy(&wave[8], "WAVEfmt ", 8);
    PutU32(&wave[16], 16);
    PutU16(&wave[20], 1);
    PutU16(&wave[22], 1);
    PutU32(&wave[24], 8000);
    PutU32(&wave[28], 16000);
    PutU16(&wave[32], 2);
    PutU16(&wave[34], 16);
    std::memcpy(&wave[36], "data", 4);
    PutU32(&wave[40], 16);
    std::ofstream(Dir.filePath("call.wav").toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(wave.data()), std::streamsize(wave.size()));
    QStringList shown;
    Window->Seams.ShowSoundInfo = [&](const QString& path) { shown << path; };
    TModalScript boxes({ClickButton(QMessageBox::Ok), ClickButton(QMessageBox::Ok)});

    Select("call.wav");
    Window->RunIdlePass();
    EXPECT_TRUE(Window->Widgets().actShowAddInfo->isEnabled());
    Window->actShowAddInfoExecute();
    EXPECT_EQ(shown, QStringList{Dir.filePath("call.wav")});
    EXPECT_TRUE(boxes.Texts.isEmpty());

    for (const char* name : {"notes.txt", "sub"}) {
        Select(name);
        Window->actShowAddInfoExecute();
        ASSERT_FALSE(boxes.Texts.isEmpty()) << name;
        EXPECT_EQ(boxes.Texts.takeLast(), QString::fromLatin1(name) + " " + Lang("NotWaveFileStr"));
    }
    EXPECT_EQ(shown.size(), 1);
    EXPECT_TRUE(boxes.Done());

    Window->Widgets().ShellListView1->clearSelection();
    Window->RunIdlePass();
    EXPECT_FALSE(Window->Widgets().actShowAddInfo->isEnabled());
}

TEST_F(ExplorerSide, DropsGoOnlyBetweenTheRecorderAndTheExplorer) {
    QObject* rec = Window->Widgets().lvRecContent;
    QObject* drv = Window->Widgets().lvDrvContent;
    QObject* shell = Window->Widgets().ShellListView1;
    QObject* icons = Window->Widgets().ShellIconView1;
    struct TCase {
        QObject* Target;
        QObject* Source;
        bool Accepted;
    };
    const TCase cases[] = {
        {rec, shell, true},      {drv, icons, true},         {shell, rec, true},
        {icons, drv, true},      {rec, drv, false},          {rec, rec, false},
        {shell, shell, false},   {shell, icons, false},      {rec, nullptr, false},
        {shell, nullptr, false}, {Window.get(), rec, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Window->DropAccepted(c.Target, c.Source), c.Accepted)
            << c.Target->objectName().toStdString() << " from "
            << (c.Source ? c.Source->objectName().toStdString() : "outside");
}

TEST_F(ExplorerSide, ANewFolderTakesTheFirstFreeNumber) {
    const QString base = Lang("NewFolderNameStr");
    QDir(Dir.path()).mkdir(base);
    QDir(Dir.path()).mkdir(base + " 1");
    TModalScript none;
    Window->actNewFolderExecute();
    EXPECT_TRUE(QFileInfo(Dir.filePath(base + " 2")).isDir());
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath(base + " 3")));
    EXPECT_TRUE(none.Texts.isEmpty()) << none.Texts.join('|').toStdString();
}

} // namespace
