#include "ui/PartSelect.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/CanvasPanel.h"
#include "i18n/VexaLangFormLists.h"
#include "widgets/DialogButtons.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

constexpr int TrackHeight = 25;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

TfrmPartSelect::TfrmPartSelect(QWidget* mainWindow) : QDialog(mainWindow) {
    setObjectName("frmPartSelect");
    setWindowTitle(ApplicationTitle());
    setWindowIcon(QApplication::windowIcon());

    Label2 = MakeLabel(this, "Label2",
                       "Drag selection bounds (or use arrow keys with Shift or Ctrl) \r\nto "
                       "change the area of record to be downloaded and press OK.");
    Label1 = MakeLabel(this, "Label1", "00:00:00");
    Label3 = MakeLabel(this, "Label3", SecToTimeStr(0));

    Panel3 = new QFrame(this);
    Panel3->setObjectName("Panel3");
    Panel3->setFrameShape(QFrame::StyledPanel);
    Panel3->setFrameShadow(QFrame::Sunken);
    Panel3->setFixedSize(TrackWidth, TrackHeight);
    // A darker track, so that the raised bar stands out against it.
    Panel3->setAutoFillBackground(true);
    QPalette trackPalette = Panel3->palette();
    trackPalette.setColor(QPalette::Window, trackPalette.color(QPalette::Mid));
    Panel3->setPalette(trackPalette);
    Panel4 = new TCanvasPanel(Panel3);
    Panel4->setObjectName("Panel4");
    Panel4->setMouseTracking(true);
    Panel4->installEventFilter(this);
    connect(Panel4, &TCanvasPanel::Paint, this, &TfrmPartSelect::PaintBar);
    Panel4->setGeometry(2, (TrackHeight - BarHeight) / 2, TrackWidth - 4, BarHeight);

    lbStart = MakeLabel(this, "lbStart", {});
    lbEnd = MakeLabel(this, "lbEnd", {});
    lbDuration = MakeLabel(this, "lbDuration", {});
    lbSelSize = MakeLabel(this, "lbSelSize", {});

    const TOkCancelRow buttons = MakeOkCancelRow(*this, "Button1", "Button2");
    Button1 = buttons.Ok;
    Button2 = buttons.Cancel;

    actSelMoveLeft = AddAction("actSelMoveLeft", QKeySequence(Qt::CTRL | Qt::Key_Left), -1, 0);
    actSelMoveRight = AddAction("actSelMoveRight", QKeySequence(Qt::CTRL | Qt::Key_Right), 1, 0);
    actSelSizeInc = AddAction("actSelSizeInc", QKeySequence(Qt::SHIFT | Qt::Key_Right), 0, 1);
    actSelSizeDec = AddAction("actSelSizeDec", QKeySequence(Qt::SHIFT | Qt::Key_Left), 0, -1);

    auto* track = new QHBoxLayout;
    track->addWidget(Label1);
    track->addWidget(Panel3);
    track->addWidget(Label3);
    auto* results = new QGridLayout;
    const char* captions[] = {
        "Selection start time:", "Selection end time:", "Selection duration: ", "Selection size"};
    QLabel* values[] = {lbStart, lbEnd, lbDuration, lbSelSize};
    // Named, so that they follow the language.
    const char* captionNames[] = {"Label4", "Label5", "Label6", "Label7"};
    for (int row = 0; row < 4; ++row) {
        results->addWidget(MakeLabel(this, captionNames[row], captions[row]), row, 0);
        results->addWidget(values[row], row, 1);
    }
    results->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addLayout(track);
    layout->addLayout(results);
    layout->addLayout(buttons.Layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    UpdateResults();
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::PartSelection);
}

QAction* TfrmPartSelect::AddAction(const char* name, const QKeySequence& key, int dLeft,
                                   int dWidth) {
    auto* action = new QAction(this);
    action->setObjectName(name);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this,
            [this, dLeft, dWidth] { SetBar(BarLeft() + dLeft, BarWidth() + dWidth); });
    addAction(action);
    return action;
}

void TfrmPartSelect::SetTotalDuration(std::uint32_t seconds) {
    FTotalDuration = seconds;
    UpdateResults();
}

void TfrmPartSelect::SetTotalSize(std::uint64_t bytes) {
    FTotalSize = bytes;
    UpdateResults();
}

int TfrmPartSelect::BarLeft() const {
    return Panel4->x();
}

int TfrmPartSelect::BarWidth() const {
    return Panel4->width();
}

void TfrmPartSelect::SetBar(int left, int width) {
    const int trackWidth = Panel3->width();
    width = std::clamp(width, MinBarWidth, trackWidth - 4);
    left = std::clamp(left, 2, trackWidth - width - 2);
    if (left == BarLeft() && width == BarWidth())
        return;
    Panel4->setGeometry(left, Panel4->y(), width, BarHeight);
    UpdateResults();
}

void TfrmPartSelect::UpdateResults() {
    const std::uint64_t span = static_cast<std::uint64_t>(Panel3->width() - 4);
    const std::uint64_t total = FTotalDuration;
    const auto offset = static_cast<std::uint64_t>(BarLeft() - 2);
    const auto width = static_cast<std::uint64_t>(BarWidth());
    // Integer forms of round(T / span * offset) and ceil(T / span * width): no float error
    // can push a full-width selection past the recording.
    const std::uint64_t start = (2 * total * offset + span) / (2 * span);
    std::uint64_t duration = (total * width + span - 1) / span;
    // Rounding the start up and the length up may overshoot the end by a second.
    duration = std::min(duration, total - std::min(start, total));
    FSelStart = static_cast<std::int32_t>(start);
    FSelDuration = static_cast<std::int32_t>(duration);
    // A recording shorter than a second has no rate to scale by: nothing is selected.
    // In 128 bits: a size of many GiB times a duration of hours passes 64.
    FSelSize = total == 0
                   ? 0
                   : static_cast<std::uint64_t>(
                         (2 * static_cast<unsigned __int128>(FTotalSize) * duration + total) /
                         (2 * total));

    lbStart->setText(SecToTimeStr(static_cast<std::uint32_t>(FSelStart)));
    lbEnd->setText(SecToTimeStr(static_cast<std::uint32_t>(FSelStart + FSelDuration)));
    lbDuration->setText(SecToTimeStr(static_cast<std::uint32_t>(FSelDuration)));
    const auto kilobytes = static_cast<qulonglong>((FSelSize + 1023) / 1024);
    lbSelSize->setText(QLocale().toString(kilobytes) + " KB");
}

void TfrmPartSelect::showEvent(QShowEvent* event) {
    // The program's title in the current language, whatever the form was made with.
    if (!ApplicationTitle().isEmpty())
        setWindowTitle(ApplicationTitle());
    Label3->setText(SecToTimeStr(FTotalDuration));
    QDialog::showEvent(event);
}

bool TfrmPartSelect::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Panel4)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        BarMouseMove(mouse->position().toPoint().x(), mouse->buttons());
        return true;
    }
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            BarMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint().x());
        return true;
    case QEvent::MouseButtonRelease:
        FDragMode = 0;
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void TfrmPartSelect::BarMouseDown(int x) {
    if (Panel4->cursor().shape() == Qt::SizeHorCursor)
        FDragMode = x >= BarWidth() / 2 ? 2 : 1;
    else
        FDragMode = 3;
    FPressX = x;
}

void TfrmPartSelect::BarMouseMove(int x, Qt::MouseButtons buttons) {
    const int width = BarWidth();
    if (buttons == Qt::NoButton || FDragMode == 0) {
        const bool nearEdge = x < EdgeGrip || x >= width - EdgeGrip;
        Panel4->setCursor(nearEdge ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const int d = x - FPressX;
    const int left = BarLeft();
    switch (FDragMode) {
    case 3:
        SetBar(left + d, width);
        break;
    case 1: {
        const int right = left + width;
        const int newLeft = std::clamp(left + d, 2, right - MinBarWidth);
        SetBar(newLeft, right - newLeft);
        break;
    }
    case 2:
        SetBar(left, width + d);
        FPressX += BarWidth() - width;
        break;
    default:
        break;
    }
}

void TfrmPartSelect::PaintBar(QPainter* canvas) {
    const int s = BarWidth();
    const QColor color = palette().color(QPalette::WindowText);
    canvas->setPen(color);
    canvas->setBrush(color);
    const QPoint left[] = {{4, 7}, {4, 13}, {1, 10}};
    const QPoint right[] = {{s - 5, 7}, {s - 5, 13}, {s - 2, 10}};
    canvas->drawPolygon(left, 3);
    canvas->drawPolygon(right, 3);
    const int m = s / 2;
    canvas->drawLine(m, 5, m, 16);
    canvas->drawLine(m - 3, 7, m - 3, 14);
    canvas->drawLine(m + 3, 7, m + 3, 14);
}

void TfrmPartSelect::reject() {
    done(mrCancel);
}
