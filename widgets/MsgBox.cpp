#include "widgets/MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>

namespace {

struct TButtonCode {
    QMessageBox::StandardButton Button;
    int Code;
};

constexpr TButtonCode ButtonCodes[] = {
    {QMessageBox::Ok, IDOK},       {QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Abort, IDABORT},
    {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}, {QMessageBox::Yes, IDYES},
    {QMessageBox::No, IDNO},
};

int MessageBoxResult(QMessageBox::StandardButton button) {
    for (const TButtonCode& entry : ButtonCodes) {
        if (entry.Button == button) {
            return entry.Code;
        }
    }
    return IDCANCEL;
}

// The buttons in their order on the box, for each button-set flag value.
QList<QMessageBox::StandardButton> ButtonsOf(unsigned flags) {
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case MB_ABORTRETRYIGNORE:
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case MB_YESNOCANCEL:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MB_YESNO:
        return {QMessageBox::Yes, QMessageBox::No};
    case MB_RETRYCANCEL:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok};
    }
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// What closing the box by its frame or Escape means.
QMessageBox::StandardButton EscapeOf(const QList<QMessageBox::StandardButton>& buttons) {
    for (const QMessageBox::StandardButton candidate :
         {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok, QMessageBox::Ignore}) {
        if (buttons.contains(candidate)) {
            return candidate;
        }
    }
    return buttons.front();
}

// Whether window belongs to owner's window or to a window that owner's window owns.
bool IsWithin(const QWidget* window, const QWidget* owner) {
    for (const QWidget* w = window; w != nullptr; w = w->parentWidget()) {
        if (w == owner) {
            return true;
        }
    }
    return false;
}

// The window the user is working in: the active window, unless a modal dialog blocks it
// (the window manager may not have activated the dialog, or the user went to another
// program meanwhile); then the modal dialog. A box parented there stays in front of it and
// is modal to it. Never a splash picture, which may go away while the box is up.
QWidget* BoxParent() {
    QWidget* owner = QApplication::activeWindow();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible() && (owner == nullptr || !IsWithin(owner, modal))) {
        owner = modal;
    }
    if (owner != nullptr && owner->windowType() == Qt::SplashScreen) {
        return nullptr;
    }
    return owner;
}

// Message boxes up on the UI thread, the one thread that shows them.
int BoxesShowing = 0;

int ShowOnThisThread(const QString& text, const QString& caption, unsigned flags) {
    struct TShowing {
        TShowing() { ++BoxesShowing; }
        ~TShowing() { --BoxesShowing; }
        TShowing(const TShowing&) = delete;
        TShowing& operator=(const TShowing&) = delete;
    } showing;
    const QPointer<QMessageBox> box = CreateMessageBox(BoxParent(), text, caption, flags);
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(flags);
    const int execResult = box->exec();
    if (box.isNull()) {
        // Its owner window was destroyed meanwhile: as if the box had been closed.
        return MessageBoxResult(EscapeOf(buttons));
    }
    const int code = MessageBoxResult(*box, execResult);
    delete box.data();
    return code;
}

} // namespace

bool IsMessageBoxShowing() {
    return BoxesShowing > 0;
}

QMessageBox* CreateMessageBox(QWidget* parent, const QString& text, const QString& caption,
                              unsigned flags) {
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(caption);
    box->setText(text);
    box->setIcon(IconOf(flags));
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(flags);
    QMessageBox::StandardButtons set;
    for (const QMessageBox::StandardButton button : buttons) {
        set |= button;
    }
    box->setStandardButtons(set);
    const qsizetype defaultIndex = std::min<qsizetype>((flags >> 8) & 0xF, buttons.size() - 1);
    box->setDefaultButton(buttons[defaultIndex]);
    box->setEscapeButton(EscapeOf(buttons));
    return box;
}

int MessageBoxResult(const QMessageBox& box, int execResult) {
    QAbstractButton* clicked = box.clickedButton();
    return MessageBoxResult(clicked != nullptr
                                ? box.standardButton(clicked)
                                : static_cast<QMessageBox::StandardButton>(execResult));
}

int ShowMessageBox(const QString& text, const QString& caption, unsigned flags) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return IDCANCEL; // no application, nobody to ask
    }
    if (QThread::currentThread() == app->thread()) {
        return ShowOnThisThread(text, caption, flags);
    }
    int code = IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { code = ShowOnThisThread(text, caption, flags); }, Qt::BlockingQueuedConnection);
    return code;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return ShowMessageBox(QString::fromStdString(text), QString::fromStdString(caption), flags);
}
