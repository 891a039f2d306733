// The main window's focus and colour handlers, its deactivation and the explorer's address
// box.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "platform/PosixFile.h"
#include "ui/Quorv_main.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

bool IsInside(const QWidget* widget, const QWidget* pane) {
    return widget != nullptr && (widget == pane || pane->isAncestorOf(widget));
}

// A pane's caption in the highlight colour while the pane holds the focus, else in the
// colour of an inactive caption.
void PaintCaption(QFrame* caption, bool focused) {
    const QPalette::ColorGroup group = focused ? QPalette::Active : QPalette::Inactive;
    QPalette palette = caption->palette();
    palette.setColor(QPalette::Window, palette.color(group, QPalette::Highlight));
    palette.setColor(QPalette::WindowText, palette.color(group, QPalette::HighlightedText));
    caption->setPalette(palette);
    for (QLabel* label : caption->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        if (label->objectName() != QLatin1String("lbDemo"))
            label->setPalette(palette);
}

// A long caption broken into the given number of lines at blanks (or after hyphens), the
// breaks chosen so that its widest line is the narrowest possible: the tool bar's buttons
// stay narrow in languages of long words.
QString BrokenCaption(QString text, int lines, const QFontMetrics& metrics) {
    text.remove(QStringLiteral("..."));
    text.remove(QLatin1Char('&'));
    constexpr int LongCaption = 12;
    if (text.size() <= LongCaption || lines < 2)
        return text;
    // The places a line may end: a blank (dropped) or just after a hyphen (kept).
    struct TBreak {
        qsizetype End;
        qsizetype NextStart;
    };
    std::vector<TBreak> breaks;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char(' '))
            breaks.push_back({i, i + 1});
        else if (text[i] == QLatin1Char('-'))
            breaks.push_back({i + 1, i + 1});
    }
    const int wanted = std::min<int>(lines - 1, static_cast<int>(breaks.size()));
    if (wanted == 0)
        return text;
    // Few words: every choice of breaks is tried.
    std::vector<int> chosen(static_cast<std::size_t>(wanted));
    std::vector<int> best;
    int bestWidth = 0;
    const std::function<void(int, int)> choose = [&](int slot, int from) {
        if (slot == wanted) {
            int widest = 0;
            qsizetype start = 0;
            for (int k = 0; k <= wanted; ++k) {
                const qsizetype end =
                    k < wanted ? breaks[static_cast<std::size_t>(chosen[k])].End : text.size();
                widest = std::max(widest, metrics.horizontalAdvance(text.mid(start, end - start)));
                if (k < wanted)
                    start = breaks[static_cast<std::size_t>(chosen[k])].NextStart;
            }
            if (best.empty() || widest < bestWidth) {
                best = chosen;
                bestWidth = widest;
            }
            return;
        }
        for (int b = from; b < static_cast<int>(breaks.size()); ++b) {
            chosen[static_cast<std::size_t>(slot)] = b;
            choose(slot + 1, b + 1);
        }
    };
    choose(0, 0);
    QString result;
    qsizetype start = 0;
    for (const int b : best) {
        const TBreak& at = breaks[static_cast<std::size_t>(b)];
        result += text.mid(start, at.End - start) + QLatin1Char('\n');
        start = at.NextStart;
    }
    return result + text.mid(start);
}

// A column is widened (never narrowed) to show its caption and the texts of its rows.
void FitColumns(QTreeView* view) {
    for (int column = 0; column < view->header()->count(); ++column) {
        const int needed =
            std::max(static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(column),
                     view->header()->sectionSizeHint(column));
        if (needed > view->columnWidth(column))
            view->setColumnWidth(column, needed);
    }
}

} // namespace

void TfrmQuorvMain::FitTextsToLanguage() {
    // Each captioned button with the actions it can show: the Shift key swaps the copy
    // buttons' actions for the move actions, so their captions must fit there too.
    struct TCaptioned {
        QToolButton* Button;
        std::vector<QAction*> Actions;
        int Lines = 2;
    };
    std::vector<TCaptioned> captioned;
    for (QToolButton* button : ToolBar1->findChildren<QToolButton*>()) {
        QAction* action = button->defaultAction();
        if (action == nullptr || button->toolButtonStyle() != Qt::ToolButtonTextUnderIcon)
            continue;
        TCaptioned entry{button, {action}};
        if (button == tlbtnCopyToPC)
            entry.Actions = {actCopyToPC, actMoveToPC};
        else if (button == tlbtnCopyToDefFolder)
            entry.Actions = {actCopyToDefFolder, actMoveToDefFolder};
        captioned.push_back(std::move(entry));
    }
    auto applyCaptions = [](const TCaptioned& entry) {
        const QFontMetrics metrics(entry.Button->font());
        for (QAction* action : entry.Actions)
            action->setIconText(BrokenCaption(action->text(), entry.Lines, metrics));
    };
    auto captionWidth = [](const TCaptioned& entry) {
        const QFontMetrics metrics(entry.Button->font());
        int widest = 0;
        for (QAction* action : entry.Actions)
            widest = std::max(widest, metrics.size(0, action->iconText()).width());
        return widest;
    };
    for (const TCaptioned& entry : captioned)
        applyCaptions(entry);
    // Where two lines leave the tool bar wider than the window at its default size, the
    // widest captions take a third line, one at a time, until every button shows.
    for (;;) {
        ToolBar1->layout()->invalidate();
        int needed = ToolBar1->sizeHint().width();
        for (const TCaptioned& entry : captioned) {
            const QFontMetrics metrics(entry.Button->font());
            const int shown = metrics.size(0, entry.Button->defaultAction()->iconText()).width();
            needed += std::max(0, captionWidth(entry) - shown);
        }
        if (needed <= DefaultWindowWidth)
            break;
        TCaptioned* widest = nullptr;
        for (TCaptioned& entry : captioned) {
            if (entry.Lines >= 3)
                continue;
            if (widest == nullptr || captionWidth(entry) > captionWidth(*widest))
                widest = &entry;
        }
        if (widest == nullptr)
            break;
        const int before = captionWidth(*widest);
        widest->Lines = 3;
        applyCaptions(*widest);
        if (captionWidth(*widest) >= before) {
            widest->Lines = 2; // a third line makes it no narrower
            applyCaptions(*widest);
            widest->Lines = 3; // and it is not tried again
        }
    }
    FitRecorderViews();
}

void TfrmQuorvMain::FitRecorderViews() {
    FitColumns(lvRecContent);
    FitColumns(lvDrvContent);
    if (!pnlExpWindow->isVisible() || !lvRecContent->isVisible())
        return;
    constexpr int MinExplorerWidth = 320;
    int columns = 0;
    for (int column = 0; column < lvRecContent->header()->count(); ++column)
        if (!lvRecContent->isColumnHidden(column))
            columns += lvRecContent->columnWidth(column);
    const int needed = columns + 2 * lvRecContent->frameWidth() +
                       lvRecContent->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                       (pnlRecContent->width() - lvRecContent->width());
    const QList<int> sizes = Splitter1->sizes();
    if (sizes.size() < 2 || sizes[0] >= needed)
        return;
    const int explorer = std::max(MinExplorerWidth, sizes[1] - (needed - sizes[0]));
    if (explorer >= sizes[1])
        return;
    ExpWidth = explorer;
    ApplyPaneWidths();
}

void TfrmQuorvMain::ConnectFocusHandlers() {
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { FocusMoved(old, now); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    ApplicationEvents1Deactivate();
            });
    pnlRecCaption->setFocusPolicy(Qt::ClickFocus);
    for (QObject* watched :
         {static_cast<QObject*>(pnlRecCaption), static_cast<QObject*>(lblRecContent),
          static_cast<QObject*>(lblExplorer)})
        watched->installEventFilter(this);
    connect(ShellComboBox1->lineEdit(), &QLineEdit::returnPressed, this,
            &TfrmQuorvMain::ShellComboBox1Return);
}

bool TfrmQuorvMain::FocusEventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlRecCaption && event->type() == QEvent::FocusIn) {
        pnlRecCaptionEnter();
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    if (watched == lblRecContent) {
        lblRecContentClick();
        return true;
    }
    if (watched == lblExplorer) {
        lblExplorerClick();
        return true;
    }
    return false;
}

void TfrmQuorvMain::FocusMoved(QWidget* old, QWidget* now) {
    const bool wasRecorder = IsInside(old, pnlRecContent);
    const bool isRecorder = IsInside(now, pnlRecContent);
    if (wasRecorder && !isRecorder)
        pnlRecContentExit();
    if (isRecorder && !wasRecorder)
        pnlRecContentEnter();
    const bool wasExplorer = IsInside(old, pnlExpWindow);
    const bool isExplorer = IsInside(now, pnlExpWindow);
    if (wasExplorer && !isExplorer)
        pnlExpWindowExit();
    if (isExplorer && !wasExplorer)
        pnlExpWindowEnter();
}

void TfrmQuorvMain::pnlRecContentEnter() {
    PaintCaption(pnlRecCaption, true);
}

void TfrmQuorvMain::pnlRecContentExit() {
    PaintCaption(pnlRecCaption, false);
}

void TfrmQuorvMain::pnlExpWindowEnter() {
    PaintCaption(pnlExpCaption, true);
}

void TfrmQuorvMain::pnlExpWindowExit() {
    PaintCaption(pnlExpCaption, false);
}

void TfrmQuorvMain::pnlRecCaptionEnter() {
    QTreeView* list = lvDrvContent->isVisible() ? lvDrvContent : lvRecContent;
    if (list->isVisible())
        list->setFocus(Qt::MouseFocusReason);
}

void TfrmQuorvMain::lblRecContentClick() {
    // The recorder pane takes the focus through its caption, which passes it to its list.
    pnlRecCaption->setFocus(Qt::MouseFocusReason);
    pnlRecCaptionEnter();
}

void TfrmQuorvMain::lblExplorerClick() {
    if (QWidget* list = pnlShellList->currentWidget())
        list->setFocus(Qt::MouseFocusReason);
}

void TfrmQuorvMain::FormDeactivate() {
    QWidget* focused = focusWidget();
    if (focused != nullptr && isAncestorOf(focused))
        LastActiveControl = focused;
}

void TfrmQuorvMain::ApplicationEvents1Deactivate() {
    if (Seams.DestroySettingsBalloon)
        Seams.DestroySettingsBalloon();
}

void TfrmQuorvMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        FormDeactivate();
    QMainWindow::changeEvent(event);
}

void TfrmQuorvMain::ShellComboBox1Return() {
    const QString typed = ShellComboBox1->currentText().trimmed();
    if (typed.isEmpty())
        return;
    if (IsDirectory(typed.toStdString())) {
        SetExplorerFolder(typed);
        return;
    }
    ShowMessageBox(Lang("PathNotFoundStr") + QLatin1Char(' ') + typed, ApplicationTitle(),
                   MB_ICONERROR);
    ShellComboBox1->setEditText(ExplorerFolder());
}
