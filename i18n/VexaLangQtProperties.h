#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>

class QObject;

// One text of a Qt object under the framework's property path ("Caption", "Hint", "Items",
// "Columns[0].Caption"...), read and written through the Qt property that stands for it.
struct TVexaLangTextProperty {
    std::string Path;
    // Whether the form itself defines the text (the framework's "stored" test); other texts
    // take part only when the controller's StoreList names them.
    bool Stored = true;
    std::function<QString()> Get;
    std::function<void(const QString&)> Set;
};

// The translatable texts of an object, in a fixed order:
//   the form (a window)          Caption = windowTitle, Hint = toolTip
//   QAction                      Caption = text, Hint = toolTip and statusTip
//   QMenu                        Caption = title
//   QGroupBox                    Caption = title
//   QLabel, QAbstractButton      Caption = text (not stored when a tool button shows an
//                                action), Hint = toolTip
//   page of a QTabWidget         Caption = tab text, Hint = tab tool tip
//   QLineEdit                    Text; editable QComboBox: Text = current text
//   QComboBox, QListWidget       Items = the item texts, one line each (stored when not empty)
//   QTreeWidget, QTableWidget and views over a QStandardItemModel
//                                Columns[i].Caption = horizontal header text of column i
//   other widgets                Hint = toolTip
// and, for any object, every QString property (declared or dynamic) whose name begins
// with an upper-case letter, under that name: the way for our own widgets to offer more.
std::vector<TVexaLangTextProperty> TranslatableProperties(QObject* object, bool isForm);

// A string list's whole text (each line followed by CR LF) and back (split at CR, LF or
// CR LF; a final line break adds no line).
QString JoinLines(const QStringList& lines);
QStringList SplitLines(const QString& text);
