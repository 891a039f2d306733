#pragma once

#include <cstdint>

#include <QMargins>
#include <QString>
#include <QStringList>

#include "platform/SystemTime.h"

class QWidget;
class TERecXchange;

// Small routines the main window and several dialogs share.

// True when one of the command-line parameters (the program name excluded) equals name as a
// whole word, letter case ignored; "-diag" or "/diag" do not count as "diag".
bool HasSwitch(const QString& name);
bool HasSwitchIn(const QStringList& parameters, const QString& name);

// The application's title (the text of "AppNameStr" once the main window is initialised):
// the caption of every message box and the start of the main window's caption.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Seconds as "hh:mm:ss"; hours take as many digits as they need ("123:05:09").
QString SecToTimeStr(std::uint32_t seconds);

// The text of a control of the settings dialog (a button's caption, a group box's title, a
// label), which carries the current language; the fallback while there is no such dialog.
// Other forms that show the same choices take their texts from there.
QString SettingsControlText(const char* componentName, const QString& fallback);

// The value's bits from its highest set bit down, padded on the left with zero up to width
// (at most 64). A zero value gives width zeros.
QString IntToBinStr(int width, QChar zero, QChar one, std::uint64_t value);

// The error box of a failed recorder exchange: "ExceptErrorStr" with the exception's message,
// command and error code, under the application's title, error icon, OK only.
void ShowExceptionBox(const TERecXchange& error);
// The text ShowExceptionBox shows; apart so that it can be checked without a box.
QString ExceptionBoxText(const TERecXchange& error);

// The system's message for an errno value, in the neutral language (not the user's locale).
QString SysErrorText(int errorCode);

// Opens an existing regular file for reading (or writing) and closes it again. A folder
// cannot be opened as a file.
bool CanOpenFile(const QString& path, bool forWriting);

// The file's last-write time in local time; the current local time when the file opens but
// its time cannot be read; time unchanged when the file cannot be opened.
void GetFileLocalTime(const QString& path, TSystemTime& time);

// A filter of the form "Description|*.a;*.b|Other|*.c" (a text constant) as a file dialog
// takes it: "Description (*.a *.b);;Other (*.c)". A description that names its patterns in
// parentheses keeps them, with blanks for the semicolons between them, since the dialog reads
// its patterns from there.
QString FileDialogFilter(const QString& filter);

// The hourglass for as long as it lives, reset however the work under it ends.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// The window's frame margins; before a window has been shown, those of one that has (the
// window manager draws them alike), none for a frameless window.
QMargins WindowFrameMargins(const QWidget& window);
// Moves (and, when it is larger, shrinks) a top-level window so that its whole frame, title
// bar included, lies on the available area of the screen it is on (the primary screen when
// it is on none).
void KeepOnScreen(QWidget& window);
// The width a window needs for its title bar to show the title whole: the title in the
// window manager's (bold) title font and room for the frame's icon and buttons.
int TitleBarWidth(const QString& title);
