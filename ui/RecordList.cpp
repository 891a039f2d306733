#include "ui/RecordList.h"

#include <algorithm>
#include <tuple>

#include <QApplication>
#include <QLocale>
#include <QPalette>
#include <QStyle>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "ui/Fileutils.h"
#include "widgets/Mainutils.h"

namespace {

template <typename T> int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

auto TimeKey(const TSystemTime& t) {
    return std::make_tuple(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Milliseconds);
}

} // namespace

void TRecordItem::Assign(const TCustomSoundFileInfo& info) {
    TCustomSoundFileInfo::operator=(info);
}

TRecordItem* TRecordList::GetItem(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return Items[static_cast<std::size_t>(index)].get();
}

int TRecordList::Add(std::unique_ptr<TRecordItem> item) {
    Items.push_back(std::move(item));
    return Count() - 1;
}

void TRecordList::SetSortMode(std::uint32_t mode) {
    if (mode == Mode)
        return;
    Mode = mode;
    AscendingOrder = true;
    if (Mode != RecSortNone)
        Sort();
}

void TRecordList::SetAscending(bool ascending) {
    if (ascending == AscendingOrder)
        return;
    AscendingOrder = ascending;
    if (Mode != RecSortNone)
        Sort();
}

void TRecordList::Sort() {
    // No two entries compare equal (records differ in number, parts of one record too), so
    // the order of equal keys cannot matter.
    std::sort(Items.begin(), Items.end(),
              [this](const std::unique_ptr<TRecordItem>& a, const std::unique_ptr<TRecordItem>& b) {
                  return Compare(*a, *b) < 0;
              });
}

int TRecordList::CompareByMode(const TCustomSoundFileInfo& a, const TCustomSoundFileInfo& b) const {
    // Full-width comparisons: a difference of two sizes or durations must not wrap.
    int result = 0;
    switch (Mode) {
    case RecSortBySize:
        result = Sign(a.Size, b.Size);
        break;
    case RecSortByDate:
        result = Sign(TimeKey(a.Start), TimeKey(b.Start));
        break;
    case RecSortByDuration:
        result = Sign(a.Duration, b.Duration);
        break;
    default:
        break;
    }
    if (result == 0)
        result = Sign(a.Number, b.Number);
    return AscendingOrder ? result : -result;
}

int TRecordList::Compare(const TCustomSoundFileInfo& a, const TCustomSoundFileInfo& b) const {
    if (a.Parent != nullptr || b.Parent != nullptr) {
        // Parts of one record run in rising part number in either direction.
        if (a.Parent == b.Parent)
            return Sign(a.Number, b.Number);
        if (a.Parent != nullptr) {
            const int r = Compare(*a.Parent, b);
            return r == 0 ? 1 : r;
        }
        const int r = Compare(a, *b.Parent);
        return r == 0 ? -1 : r;
    }
    return CompareByMode(a, b);
}

int RectGetLeft(const TRect& r) {
    return r.Left;
}

void RectSetLeft(TRect& r, int left) {
    r.Right += left - r.Left;
    r.Left = left;
}

void RectSetTop(TRect& r, int top) {
    r.Bottom += top - r.Top;
    r.Top = top;
}

int RectGetWidth(const TRect& r) {
    return r.Right - r.Left;
}

void RectSetWidth(TRect& r, int width) {
    r.Right = r.Left + width;
}

int RectGetHeight(const TRect& r) {
    return r.Bottom - r.Top;
}

void RectSetHeight(TRect& r, int height) {
    r.Bottom = r.Top + height;
}

QString SizeKbText(std::int64_t size) {
    const auto bytes = static_cast<std::uint64_t>(size);
    const std::uint64_t kb = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    // Thousands always grouped, in the user's separator.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<qulonglong>(kb)) + QStringLiteral(" KB");
}

QString RecordDateText(const TSystemTime& t) {
    return QString::asprintf("%.2d.%.2d.%.4d %.2d:%.2d:%.2d", t.Day, t.Month, t.Year, t.Hour,
                             t.Minute, t.Second);
}

QString DriveDateText(const TSystemTime& time) {
    return RecordDateText(time) + QLatin1Char(' ');
}

QString RecordStatusText(std::uint8_t status) {
    if (status == StatusDownloaded)
        return Lang("rsDownloadedStr");
    if (status == StatusUploaded)
        return Lang("rsUploadedStr");
    return Lang("rsNonDownloadedStr");
}

QStringList RecordRowTexts(const TRecordItem& item) {
    const QString name = QString::fromStdString(item.Name);
    QStringList texts;
    texts << (item.IsVoicePart() ? QStringLiteral("     ") + name : name) << SizeKbText(item.Size)
          << RecordDateText(item.Start) << SecToTimeStr(item.Duration);
    if (!item.IsVoicePart())
        texts << QString::fromStdString(item.ModeText) << RecordStatusText(item.Status);
    return texts;
}

QStringList DriveRowTexts(const TFileListItem& item) {
    return {QString::fromStdString(item.Name),
            item.IsFolder ? QStringLiteral("Dir") : SizeKbText(item.Size),
            DriveDateText(item.Time)};
}

void TOwnerDataModel::SetRowCount(int rows) {
    beginResetModel();
    Rows = rows < 0 ? 0 : rows;
    endResetModel();
}

void TOwnerDataModel::Repaint() {
    if (Rows > 0)
        emit dataChanged(index(0, 0), index(Rows - 1, columnCount() - 1));
}

int TOwnerDataModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows;
}

int TOwnerDataModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Captions.size());
}

QVariant TOwnerDataModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return Captions.value(section);
    return {};
}

bool TOwnerDataModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                    int role) {
    // Only an existing horizontal caption is set; other sections and orientations are not
    // captions.
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= Captions.size())
        return false;
    Captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags TOwnerDataModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

TRecordListModel::TRecordListModel(const TRecordList& list, QObject* parent)
    : TOwnerDataModel(parent), List(list) {}

QVariant TRecordListModel::data(const QModelIndex& index, int role) const {
    const TRecordItem* item = List.GetItem(index.row());
    if (!index.isValid() || item == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const QStringList texts = RecordRowTexts(*item);
        return index.column() < texts.size() ? texts.at(index.column()) : QString();
    }
    case Qt::DecorationRole:
        if (index.column() == 0)
            return QApplication::style()->standardIcon(QStyle::SP_MediaVolume);
        return {};
    case Qt::ForegroundRole:
        // Voice parts in the colour of the active window caption.
        return QApplication::palette().color(item->IsVoicePart() ? QPalette::Highlight
                                                                 : QPalette::WindowText);
    case Qt::ToolTipRole:
        return InfoTip(index.row());
    default:
        return {};
    }
}

QString TRecordListModel::InfoTip(int row) const {
    const TRecordItem* item = List.GetItem(row);
    if (item == nullptr)
        return {};
    const QStringList texts = RecordRowTexts(*item);
    QString tip = Captions.value(0) + QStringLiteral(": ") + texts.at(0);
    for (int i = 1; i < texts.size(); ++i)
        tip += QStringLiteral("\n\r") + Captions.value(i) + QStringLiteral(": ") + texts.at(i);
    return tip;
}

TDriveListModel::TDriveListModel(const TFileList& shown, QObject* parent)
    : TOwnerDataModel(parent), Shown(shown) {}

QVariant TDriveListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Shown.Count())
        return {};
    const TFileListItem& item = Shown.Item(index.row());
    if (role == Qt::DisplayRole) {
        const QStringList texts = DriveRowTexts(item);
        return texts.value(index.column());
    }
    if (role == Qt::DecorationRole && index.column() == 0)
        return QApplication::style()->standardIcon(item.IsFolder ? QStyle::SP_DirIcon
                                                                 : QStyle::SP_FileIcon);
    return {};
}
