// The main window's focus and colour handlers, its deactivation and the explorer's address
// box.
#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
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

// A long caption on two lines, broken at the blank (or after the hyphen) nearest its middle,
// so that the tool bar's buttons stay narrow in languages of long words.
QString TwoLineCaption(QString text) {
    text.remove(QStringLiteral("..."));
    text.remove(QLatin1Char('&'));
    constexpr int LongCaption = 12;
    if (text.size() <= LongCaption)
        return text;
    const int middle = static_cast<int>(text.size() / 2);
    int best = -1;
    for (int i = 0; i + 1 < text.size(); ++i) {
        const bool breaks = text[i] == QLatin1Char(' ') || (text[i] == QLatin1Char('-') && i > 0);
        if (breaks && (best < 0 || std::abs(i - middle) < std::abs(best - middle)))
            best = i;
    }
    if (best < 0)
        return text;
    if (text[best] == QLatin1Char(' '))
        text[best] = QLatin1Char('\n');
    else
        text.insert(best + 1, QLatin1Char('\n'));
    return text;
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
    for (QToolButton* button : ToolBar1->findChildren<QToolButton*>()) {
        QAction* action = button->defaultAction();
        if (action != nullptr && button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon)
            action->setIconText(TwoLineCaption(action->text()));
    }
    // The Shift key swaps the copy buttons' actions: the move actions are shown there too.
    for (QAction* action : {actMoveToPC, actMoveToDefFolder})
        action->setIconText(TwoLineCaption(action->text()));
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
    if (QFileInfo(typed).isDir()) {
        SetExplorerFolder(typed);
        return;
    }
    ShowMessageBox(Lang("PathNotFoundStr") + QLatin1Char(' ') + typed, ApplicationTitle(),
                   MB_ICONERROR);
    ShellComboBox1->setEditText(ExplorerFolder());
}
