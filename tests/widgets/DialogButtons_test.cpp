#include <gtest/gtest.h>

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "widgets/DialogButtons.h"
#include "widgets/MsgBox.h"

namespace {

// A dialog whose Cancel answer is its own, as the program's dialogs have it.
class TCountingDialog : public QDialog {
public:
    void reject() override {
        ++Rejects;
        done(mrCancel);
    }
    int Rejects = 0;
};

// The row's items from left to right: "stretch" or the button's object name.
QStringList RowItems(const QHBoxLayout& row) {
    QStringList items;
    for (int i = 0; i < row.count(); ++i) {
        QLayoutItem* item = row.itemAt(i);
        items << (item->widget() != nullptr ? item->widget()->objectName() : QString("stretch"));
    }
    return items;
}

TEST(DialogButtons, OkCancelRowKeepsTheNamesAndAnswersAsTheDialogDoes) {
    TCountingDialog dialog;
    const TOkCancelRow row = MakeOkCancelRow(dialog, "OKBtn", "CancelBtn");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row.Layout);
    EXPECT_EQ(RowItems(*row.Layout), (QStringList{"stretch", "OKBtn", "CancelBtn"}));
    EXPECT_EQ(row.Ok->parent(), &dialog);
    EXPECT_EQ(row.Ok->text(), "OK");
    EXPECT_EQ(row.Cancel->text(), "Cancel");
    EXPECT_TRUE(row.Ok->isDefault());
    EXPECT_FALSE(row.Cancel->isDefault());
    EXPECT_EQ(dialog.findChild<QPushButton*>("CancelBtn"), row.Cancel);

    struct TCase {
        const char* Name;
        bool Ok; // the OK button, else Cancel
        int Result;
        int Rejects;
    };
    for (const TCase c : {TCase{"ok", true, mrOk, 0}, TCase{"cancel", false, mrCancel, 1}}) {
        SCOPED_TRACE(c.Name);
        dialog.Rejects = 0;
        dialog.setResult(0);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        (c.Ok ? row.Ok : row.Cancel)->click();
        EXPECT_EQ(dialog.result(), c.Result);
        EXPECT_EQ(dialog.Rejects, c.Rejects);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(DialogButtons, CentredRowHoldsOneDefaultButtonBetweenStretches) {
    QDialog dialog;
    const TCentredButtonRow row = MakeCentredButtonRow(dialog, "Button1", "Cancel");
    EXPECT_EQ(RowItems(*row.Layout), (QStringList{"stretch", "Button1", "stretch"}));
    EXPECT_EQ(row.Button->parent(), &dialog);
    EXPECT_EQ(row.Button->text(), "Cancel");
    EXPECT_TRUE(row.Button->isDefault());
    delete row.Layout; // never placed in the dialog
}

} // namespace
