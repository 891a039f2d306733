#include "widgets/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

#include "widgets/MsgBox.h"

namespace {

QPushButton* MakeButton(QWidget& parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, &parent);
    button->setObjectName(name);
    return button;
}

} // namespace

TOkCancelRow MakeOkCancelRow(QDialog& dialog, const char* okName, const char* cancelName) {
    TOkCancelRow row;
    row.Ok = MakeButton(dialog, okName, "OK");
    row.Ok->setDefault(true);
    QObject::connect(row.Ok, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(mrOk); });
    row.Cancel = MakeButton(dialog, cancelName, "Cancel");
    QObject::connect(row.Cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    row.Layout = new QHBoxLayout;
    row.Layout->addStretch();
    row.Layout->addWidget(row.Ok);
    row.Layout->addWidget(row.Cancel);
    return row;
}

TCentredButtonRow MakeCentredButtonRow(QWidget& parent, const char* name, const char* caption) {
    TCentredButtonRow row;
    row.Button = MakeButton(parent, name, caption);
    row.Button->setDefault(true);

    row.Layout = new QHBoxLayout;
    row.Layout->addStretch();
    row.Layout->addWidget(row.Button);
    row.Layout->addStretch();
    return row;
}
