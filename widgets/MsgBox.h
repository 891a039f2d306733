#pragma once

#include <string>

#include <QString>

#include "transfer/MessageCodes.h"

class QWidget;

// Shows a modal message box over the active window and returns the code of the button that
// closed it. Closing the box without a button gives the Cancel (or, without Cancel, the only
// sensible) result: IDCANCEL, IDNO for Yes/No, IDOK for OK. Called from another thread, the
// box is shown by the UI thread and the caller waits for it.
int ShowMessageBox(const QString& text, const QString& caption, unsigned flags);
// The same for UTF-8 texts, for callers outside the widgets.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Whether one of these boxes is up and waiting for its answer.
bool IsMessageBoxShowing();

// The box ShowMessageBox would show, not yet shown; the caller owns it. Its result maps to a
// code through MessageBoxResult.
class QMessageBox* CreateMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                    unsigned flags);
int MessageBoxResult(const class QMessageBox& box, int execResult);
