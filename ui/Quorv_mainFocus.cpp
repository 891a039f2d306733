// The main window's focus and colour handlers, its deactivation and the explorer's address
// box.
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "ui/Mainutils.h"
#include "ui/MsgBox.h"
#include "ui/Quorv_main.h"

namespace {

QString Lang(const char* name) {
    return QString::fromStdString(GetLangConstant(name));
}

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

} // namespace

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
