#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include "engine/RecClassesLists.h"

class TFileList;
struct TFileListItem;

// One row of the records view: a copy of the engine's record description. Parent and
// VoiceParts still point into the engine's lists, so the list is cleared before those go.
class TRecordItem : public TCustomSoundFileInfo {
public:
    TRecordItem() = default;
    // Copies every field of the description (texts by value).
    void Assign(const TCustomSoundFileInfo& info);
    bool IsVoicePart() const { return Parent != nullptr; }

    bool ShowVoiceParts = false; // the option at the time the list was filled
};

// Sort modes of the records view.
constexpr std::uint32_t RecSortNone = 0;
constexpr std::uint32_t RecSortByNumber = 1;
constexpr std::uint32_t RecSortBySize = 2;
constexpr std::uint32_t RecSortByDate = 3;
constexpr std::uint32_t RecSortByDuration = 4;

// The program-wide list behind the records view: row i of the view is entry i. A voice part
// always follows its record, parts of one record in rising part number, whatever the order.
class TRecordList {
public:
    TRecordList() = default;
    virtual ~TRecordList() = default;
    TRecordList(const TRecordList&) = delete;
    TRecordList& operator=(const TRecordList&) = delete;

    int Count() const { return static_cast<int>(Items.size()); }
    // Null for an index outside the list.
    TRecordItem* GetItem(int index) const;
    int Add(std::unique_ptr<TRecordItem> item);
    void Clear() { Items.clear(); }

    std::uint32_t SortMode() const { return Mode; }
    bool Ascending() const { return AscendingOrder; }
    // A new mode turns the order ascending and sorts, unless it is 0.
    void SetSortMode(std::uint32_t mode);
    // A new direction sorts, unless the mode is 0.
    void SetAscending(bool ascending);
    // Sorts in the current mode (mode 0 orders by number).
    void Sort();

    // Negative, 0 or positive: whether a comes before b.
    virtual int Compare(const TCustomSoundFileInfo& a, const TCustomSoundFileInfo& b) const;

private:
    int CompareByMode(const TCustomSoundFileInfo& a, const TCustomSoundFileInfo& b) const;

    std::vector<std::unique_ptr<TRecordItem>> Items;
    std::uint32_t Mode = RecSortNone;
    bool AscendingOrder = true;
};

// A rectangle as left, top, right and bottom edges, with the helpers the layouts use.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect&) const = default;
};
int RectGetLeft(const TRect& r);
void RectSetLeft(TRect& r, int left); // width kept
void RectSetTop(TRect& r, int top);   // height kept
int RectGetWidth(const TRect& r);
void RectSetWidth(TRect& r, int width);
int RectGetHeight(const TRect& r);
void RectSetHeight(TRect& r, int height);

// Texts of the rows.
QString SizeKbText(std::int64_t size); // whole KB rounded up, "1,234 KB"
QString RecordDateText(const TSystemTime& time);
QString DriveDateText(const TSystemTime& time); // ends with a blank
QString RecordStatusText(std::uint8_t status);
// Caption and sub-item texts of a row: name, size, date, duration, then mode and status for a
// whole record; a voice part's caption is indented and it has no mode or status.
QStringList RecordRowTexts(const TRecordItem& item);
QStringList DriveRowTexts(const TFileListItem& item);

// What the models of the owner-data views share: they show as many rows as they were told
// (the view's item count), one column a caption, and produce each row's texts from their
// list when they are asked for.
class TOwnerDataModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // The item count of the view; rows outside the list stay empty.
    void SetRowCount(int rows);
    // Every shown row's texts are asked for again; the selection stays by row.
    void Repaint();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column caption; the language switch writes the translated ones this way.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The column captions (translated by the main window's language switch).
    QStringList Captions;

private:
    int Rows = 0;
};

// The records view's model.
class TRecordListModel : public TOwnerDataModel {
    Q_OBJECT

public:
    TRecordListModel(const TRecordList& list, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;
    // The info tip of a row: "<column>: <text>" lines, each after the first begun by LF CR.
    QString InfoTip(int row) const;

private:
    const TRecordList& List;
};

// The flash-drive view's model over the shown folder's entries.
class TDriveListModel : public TOwnerDataModel {
    Q_OBJECT

public:
    TDriveListModel(const TFileList& shown, QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;

private:
    const TFileList& Shown;
};
