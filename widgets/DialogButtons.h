#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

// The bottom row of a dialog. The buttons are made where the helper is called, so that the
// tab order stays the order the dialog makes its controls in; the row goes into the dialog's
// layout later. The names are the component names the language files find the buttons by.

struct TOkCancelRow {
    QPushButton* Ok = nullptr;
    QPushButton* Cancel = nullptr;
    QHBoxLayout* Layout = nullptr;
};

// "OK" and "Cancel" at the right: OK is the default button and closes the dialog with mrOk;
// Cancel calls the dialog's reject(), so that it answers as Escape and the close box do.
TOkCancelRow MakeOkCancelRow(QDialog& dialog, const char* okName, const char* cancelName);

struct TCentredButtonRow {
    QPushButton* Button = nullptr;
    QHBoxLayout* Layout = nullptr;
};

// One default button in the middle of the row; the caller connects it.
TCentredButtonRow MakeCentredButtonRow(QWidget& parent, const char* name, const char* caption);
