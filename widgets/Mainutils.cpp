#include "widgets/Mainutils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "i18n/VexaLang.h"
#include "link/RecXchange.h"
#include "platform/TextFormat.h"
#include "widgets/MsgBox.h"

namespace {

// An open descriptor of an existing regular file, closed on destruction.
class TOpenedFile {
public:
    TOpenedFile(const QString& path, int flags) {
        const QByteArray native = QFile::encodeName(path);
        Fd = ::open(native.constData(), flags | O_CLOEXEC | O_NOCTTY);
        if (Fd < 0)
            return;
        struct stat info {};
        if (::fstat(Fd, &info) == 0 && S_ISDIR(info.st_mode)) {
            ::close(Fd);
            Fd = -1;
        }
    }
    ~TOpenedFile() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TOpenedFile(const TOpenedFile&) = delete;
    TOpenedFile& operator=(const TOpenedFile&) = delete;

    bool IsOpen() const { return Fd >= 0; }
    int Handle() const { return Fd; }

private:
    int Fd = -1;
};

} // namespace

bool HasSwitchIn(const QStringList& parameters, const QString& name) {
    for (const QString& parameter : parameters) {
        if (parameter.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool HasSwitch(const QString& name) {
    QStringList parameters = QCoreApplication::arguments();
    if (!parameters.isEmpty())
        parameters.removeFirst();
    return HasSwitchIn(parameters, name);
}

namespace {
QString& StoredApplicationTitle() {
    static QString title = QStringLiteral("Quorvex");
    return title;
}
} // namespace

QString ApplicationTitle() {
    return StoredApplicationTitle();
}

void SetApplicationTitle(const QString& title) {
    StoredApplicationTitle() = title;
}

QString SettingsControlText(const char* componentName, const QString& fallback) {
    if (qApp == nullptr)
        return fallback;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String("frmRecSettings"))
            continue;
        const QWidget* control = window->findChild<QWidget*>(QLatin1String(componentName));
        if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            return button->text().remove(QLatin1Char('&'));
        if (const auto* group = qobject_cast<const QGroupBox*>(control))
            return group->title().remove(QLatin1Char('&'));
        if (const auto* label = qobject_cast<const QLabel*>(control))
            return label->text().remove(QLatin1Char('&'));
    }
    return fallback;
}

QString SecToTimeStr(std::uint32_t seconds) {
    const std::uint32_t hours = seconds / 3600;
    const std::uint32_t minutes = (seconds / 60) % 60;
    return QString::asprintf("%.2u:%.2u:%.2u", hours, minutes, seconds % 60);
}

QString IntToBinStr(int width, QChar zero, QChar one, std::uint64_t value) {
    width = qBound(0, width, 64);
    QString bits;
    for (; value != 0; value >>= 1)
        bits.prepend((value & 1) ? one : zero);
    if (bits.size() < width)
        bits.prepend(QString(width - bits.size(), zero));
    return bits;
}

QString ExceptionBoxText(const TERecXchange& error) {
    // A translation whose placeholders do not match the English text falls back to it.
    const TVexaLang_Constant format = LangManager()->Constant("ExceptErrorStr");
    return QString::fromStdString(
        FormatText(format.Value, format.DefaultValue,
                   {error.MessageUtf8(), error.Command(), error.ErrorCode()}));
}

void ShowExceptionBox(const TERecXchange& error) {
    ShowMessageBox(ExceptionBoxText(error), ApplicationTitle(), MB_OK | MB_ICONERROR);
}

QString SysErrorText(int errorCode) {
    // strerror follows LC_MESSAGES, which the application sets from the user's locale.
    static const locale_t neutral = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const char* text = neutral ? strerror_l(errorCode, neutral) : std::strerror(errorCode);
    return QString::fromLocal8Bit(text);
}

bool CanOpenFile(const QString& path, bool forWriting) {
    return TOpenedFile(path, forWriting ? O_WRONLY : O_RDONLY).IsOpen();
}

void GetFileLocalTime(const QString& path, TSystemTime& time) {
    const TOpenedFile file(path, O_RDONLY);
    if (!file.IsOpen())
        return;
    struct stat info {};
    if (::fstat(file.Handle(), &info) != 0) {
        time = LocalTimeNow();
        return;
    }
    time =
        LocalSystemTime(info.st_mtim.tv_sec, static_cast<unsigned>(info.st_mtim.tv_nsec / 1000000));
}

QString FileDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns =
            parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open < 0)
            description += QStringLiteral(" (") + patterns + QLatin1Char(')');
        else
            description = description.left(open) +
                          description.mid(open).replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << description;
    }
    if (entries.isEmpty() && !filter.trimmed().isEmpty())
        entries << filter.trimmed();
    return entries.join(QStringLiteral(";;"));
}

TWaitCursor::TWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor() {
    QApplication::restoreOverrideCursor();
}

QMargins WindowFrameMargins(const QWidget& window) {
    if (window.windowFlags().testFlag(Qt::FramelessWindowHint) ||
        window.windowType() == Qt::SplashScreen)
        return {};
    auto marginsOf = [](const QWidget& w) {
        return w.windowHandle() != nullptr ? w.windowHandle()->frameMargins() : QMargins();
    };
    const QMargins own = marginsOf(window);
    if (!own.isNull())
        return own;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == &window || !other->isVisible() ||
            other->windowFlags().testFlag(Qt::FramelessWindowHint))
            continue;
        if (const QMargins margins = marginsOf(*other); !margins.isNull())
            return margins;
    }
    return {};
}

void KeepOnScreen(QWidget& window) {
    const QMargins margins = WindowFrameMargins(window);
    const QRect frame = window.geometry().marginsAdded(margins);
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize room = area.size().shrunkBy(margins);
    const QSize size = window.size().boundedTo(room).expandedTo(window.minimumSize());
    if (size != window.size())
        window.resize(size);
    const QSize outer = window.size().grownBy(margins);
    // The frame's top-left corner: a top-level window's position is that of its frame.
    const int left =
        std::max(area.left(), std::min(frame.left(), area.right() + 1 - outer.width()));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - outer.height()));
    window.move(left, top);
}

int TitleBarWidth(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + 160;
}
