// The main window's wiring as the program starts it: drag cursors, the new folder put into
// name editing, the explorer's address box, the focus colours, the title and the
// deactivation.
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "settings/RecSettings.h"
#include "tests/program/ProgramFixture.h"
#include "tests/support/ModalScript.h"
#include "ui/RecorderListView.h"
#include "widgets/Mainutils.h"
#include "widgets/ProgramOptions.h"

namespace {

class ProgramWindow : public TProgramFixture {
protected:
    // The window shown and active, as a user has it.
    TfrmQuorvMain& ShowMainWindow() {
        TfrmQuorvMain& main = StartProgram().frmQuorvMain;
        main.show();
        QApplication::setActiveWindow(&main);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main, 5000));
        return main;
    }
};

QColor CaptionColour(const QWidget* caption) {
    return caption->palette().color(QPalette::Window);
}

TEST_F(ProgramWindow, ADragShowsTheCursorForOneRowOrForSeveral) {
    TfrmQuorvMain& main = StartProgram().frmQuorvMain;
    auto* view = qobject_cast<TRecorderListView*>(main.Widgets().lvRecContent);
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 3; ++i) {
        auto item = std::make_unique<TRecordItem>();
        item->Number = static_cast<std::uint16_t>(i + 1);
        main.RecordList().Add(std::move(item));
    }
    main.Widgets().RecModel->SetRowCount(3);
    EXPECT_EQ(view->CreateDrag(), nullptr) << "nothing selected, nothing dragged";

    const QImage single = DragCursorPixmap(TDragCursorKind::SingleItem).toImage();
    const QImage several = DragCursorPixmap(TDragCursorKind::MultipleItems).toImage();
    EXPECT_NE(single, several);
    struct TCase {
        std::vector<int> Rows;
        const QImage& Cursor;
    };
    const TCase cases[] = {{{1}, single}, {{0, 2}, several}, {{0, 1, 2}, several}};
    for (const TCase& c : cases) {
        main.SelectRows(main.Widgets().lvRecContent, c.Rows);
        std::unique_ptr<QDrag> drag(view->CreateDrag());
        ASSERT_NE(drag, nullptr);
        EXPECT_EQ(drag->dragCursor(Qt::CopyAction).toImage(), c.Cursor) << c.Rows.size();
    }
    EXPECT_NE(qobject_cast<TRecorderListView*>(main.Widgets().lvDrvContent), nullptr);
}

TEST_F(ProgramWindow, ANewFolderIsCreatedWithItsNameOpenForEditing) {
    TfrmQuorvMain& main = ShowMainWindow();
    const QString folder = Folder.filePath(QStringLiteral("explorer"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/New Folder")));
    main.Widgets().ShellComboBox1->setEditText(folder);
    main.ShellComboBox1Return();
    main.Widgets().actNewFolder->trigger();
    const QString created = folder + QStringLiteral("/New Folder 1");
    EXPECT_TRUE(QFileInfo(created).isDir());
    auto* list = qobject_cast<QAbstractItemView*>(main.Widgets().pnlShellList->currentWidget());
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(WaitInEventLoop([&] {
        auto* editor = list->viewport()->findChild<QLineEdit*>();
        return editor != nullptr && editor->isVisible();
    }));
    EXPECT_EQ(list->viewport()->findChild<QLineEdit*>()->text(), QStringLiteral("New Folder 1"));
    // While the name is edited, deleting and going up wait.
    main.RunIdlePass();
    EXPECT_FALSE(main.Widgets().actExpDelete->isEnabled());
    EXPECT_FALSE(main.Widgets().actLevelUp->isEnabled());
}

TEST_F(ProgramWindow, ExplorerDeleteUsesTheUsersTrashOrAsksBeforeDeletingForGood) {
    TfrmQuorvMain& main = ShowMainWindow();
    const QString folder = Folder.filePath(QStringLiteral("explorer"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile(Folder.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
    const QString trash = Folder.filePath(QStringLiteral("data/Trash"));
    const auto answer = [](QMessageBox::StandardButton button) {
        return [button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr) << "expected the question";
            EXPECT_TRUE(box->text().startsWith(
                QString::fromStdString(GetLangConstant("NoTrashDeleteStr"))));
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(button)->click();
        };
    };
    const struct {
        const char* Name;
        QString DataHome; // where XDG_DATA_HOME points
        std::vector<TModalScript::TStep> Steps;
        bool Stays;
        bool InTrash;
    } cases[] = {
        {"toTheTrash", Folder.filePath(QStringLiteral("data")), {}, false, true},
        {"noTrashKept",
         Folder.filePath(QStringLiteral("plain/share")),
         {answer(QMessageBox::No)},
         true,
         false},
        {"noTrashDeleted",
         Folder.filePath(QStringLiteral("plain/share")),
         {answer(QMessageBox::Yes)},
         false,
         false},
    };
    struct TRestoreDataHome {
        QByteArray Old = qgetenv("XDG_DATA_HOME");
        bool HadOld = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        ~TRestoreDataHome() {
            if (HadOld)
                qputenv("XDG_DATA_HOME", Old);
            else
                qunsetenv("XDG_DATA_HOME");
        }
    } restore;
    auto* model = main.findChild<QFileSystemModel*>(QStringLiteral("ShellModel"));
    main.Widgets().ShellComboBox1->setEditText(folder);
    main.ShellComboBox1Return();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString name = QStringLiteral("%1.wav").arg(QLatin1String(c.Name));
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the user's recording");
        file.close();
        qputenv("XDG_DATA_HOME", c.DataHome.toLocal8Bit());
        ASSERT_TRUE(WaitInEventLoop([&] { return model->index(path).isValid(); }));
        main.Widgets().ShellListView1->selectionModel()->select(
            model->index(path), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        main.RunIdlePass();
        ASSERT_TRUE(main.Widgets().actExpDelete->isEnabled());
        {
            TModalScript script(c.Steps);
            main.Widgets().actExpDelete->trigger();
            EXPECT_TRUE(script.Done());
            EXPECT_EQ(script.Unexpected, 0);
        }
        EXPECT_EQ(QFileInfo::exists(path), c.Stays);
        EXPECT_EQ(QFileInfo::exists(trash + QStringLiteral("/files/") + name), c.InTrash);
        EXPECT_EQ(QFileInfo::exists(trash + QStringLiteral("/info/") + name +
                                    QStringLiteral(".trashinfo")),
                  c.InTrash);
        // Nothing lands beside the program or in the folder it runs in.
        for (const QString& place : {Folder.path(), QDir::currentPath()})
            for (const char* stray : {"files", "info"})
                EXPECT_FALSE(QFileInfo::exists(place + QLatin1Char('/') + QLatin1String(stray)))
                    << stray;
    }
    EXPECT_EQ(QFileInfo(trash).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              0);
}

TEST_F(ProgramWindow, TheAddressBoxOpensATypedFolderAndReportsOneThatIsNotThere) {
    TfrmQuorvMain& main = ShowMainWindow();
    const QString folder = QDir(Folder.path()).filePath(QStringLiteral("typed"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QLineEdit* address = main.Widgets().ShellComboBox1->lineEdit();

    address->setText(folder);
    QTest::keyClick(address, Qt::Key_Return);
    EXPECT_EQ(main.findChild<QFileSystemModel*>(QStringLiteral("ShellModel"))->rootPath(), folder);

    // Not there, or a folder of Qt's built-in resources, which is no folder on the PC.
    for (const QString& missing :
         {folder + QStringLiteral("/not here"), QStringLiteral(":/qt-project.org")}) {
        SCOPED_TRACE(missing.toStdString());
        TModalScript script({[](QWidget* box) { static_cast<QDialog*>(box)->accept(); }});
        address->setText(missing);
        QTest::keyClick(address, Qt::Key_Return);
        ASSERT_EQ(script.Texts.size(), 1);
        EXPECT_EQ(script.Texts.first(),
                  QString::fromStdString(GetLangConstant("PathNotFoundStr")) + ' ' + missing);
        EXPECT_EQ(main.findChild<QFileSystemModel*>(QStringLiteral("ShellModel"))->rootPath(),
                  folder)
            << "the explorer stays where it was";
    }

    // A folder chosen in the tree opens too; the tree takes the focus when the user moves in it.
    auto* folders = main.findChild<QFileSystemModel*>(QStringLiteral("FolderModel"));
    const QString chosen = QDir(Folder.path()).filePath(QStringLiteral("chosen"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    QApplication::setActiveWindow(&main);
    main.Widgets().ShellTreeView1->setFocus();
    ASSERT_TRUE(WaitInEventLoop([&] { return main.Widgets().ShellTreeView1->hasFocus(); }));
    main.Widgets().ShellTreeView1->setCurrentIndex(folders->index(chosen));
    EXPECT_EQ(main.findChild<QFileSystemModel*>(QStringLiteral("ShellModel"))->rootPath(), chosen);
}

TEST_F(ProgramWindow, ThePaneWithTheFocusShowsItsCaptionHighlighted) {
    // Colours that tell an active caption from an inactive one, as desktop themes do.
    const QPalette original = QApplication::palette();
    QPalette themed = original;
    const QColor active(0, 84, 153);
    const QColor inactive(191, 205, 219);
    themed.setColor(QPalette::Active, QPalette::Highlight, active);
    themed.setColor(QPalette::Inactive, QPalette::Highlight, inactive);
    QApplication::setPalette(themed);
    struct TRestore {
        QPalette Palette;
        ~TRestore() { QApplication::setPalette(Palette); }
    } restore{original};
    TfrmQuorvMain& main = ShowMainWindow();

    main.Widgets().lvRecContent->setFocus();
    ASSERT_TRUE(
        WaitInEventLoop([&] { return CaptionColour(main.Widgets().pnlRecCaption) == active; }));
    EXPECT_EQ(CaptionColour(main.Widgets().pnlExpCaption), inactive);

    main.lblExplorerClick();
    ASSERT_TRUE(
        WaitInEventLoop([&] { return CaptionColour(main.Widgets().pnlExpCaption) == active; }));
    EXPECT_EQ(CaptionColour(main.Widgets().pnlRecCaption), inactive);
    EXPECT_TRUE(main.Widgets().pnlShellList->currentWidget()->hasFocus());

    // The recorder caption passes the focus on to the list that shows.
    main.lblRecContentClick();
    EXPECT_TRUE(main.Widgets().lvRecContent->hasFocus() ||
                !main.Widgets().lvRecContent->isVisible());
    EXPECT_EQ(CaptionColour(main.Widgets().pnlRecCaption), active);

    // Leaving the window remembers the control that had the focus.
    main.Widgets().ShellListView1->setFocus();
    main.FormDeactivate();
    EXPECT_EQ(main.LastActive(), main.Widgets().ShellListView1);
}

TEST_F(ProgramWindow, DeactivatingTheApplicationTakesDownTheSettingsBalloon) {
    TProgramForms& forms = StartProgram();
    ASSERT_TRUE(forms.frmRecSettings.ShowLatinOnlyBalloon());
    EXPECT_TRUE(forms.frmRecSettings.IsBalloonShowing());
    forms.frmQuorvMain.ApplicationEvents1Deactivate();
    EXPECT_FALSE(forms.frmRecSettings.IsBalloonShowing());
}

TEST_F(ProgramWindow, TheTitleAndTheAboutBoxNameTheProgramInEveryLanguage) {
    TProgramForms& forms = StartProgram();
    TfrmQuorvMain& main = forms.frmQuorvMain;
    for (const std::uint16_t language : {English, std::uint16_t{1031}, std::uint16_t{1049}}) {
        if (language != English)
            SwitchTo(language);
        main.RunIdlePass();
        EXPECT_EQ(ApplicationTitle(), QStringLiteral("Quorvex"));
        EXPECT_TRUE(main.windowTitle().startsWith(QStringLiteral("Quorvex - ")))
            << main.windowTitle().toStdString();
        forms.AboutBox.show();
        EXPECT_EQ(forms.AboutBox.ProductName->text(), QStringLiteral("Quorvex"));
        forms.AboutBox.hide();
    }
}

TEST_F(ProgramWindow, AfterASwitchTheRecordsAreReadAgainWithModeTextsInTheNewLanguage) {
    WriteSettings("[Settings]\r\nConnectType=3\r\n"); // the emulation over the demo image
    TfrmQuorvMain& main = ShowMainWindow();
    ASSERT_TRUE(
        WaitInEventLoop([&] { return main.IsConnected() && main.RecordList().Count() > 0; }));
    auto modeText = [&] { return main.Widgets().RecModel->index(0, 4).data().toString(); };
    EXPECT_TRUE(modeText().contains(QStringLiteral(" Hz; "))) << modeText().toStdString();
    SwitchTo(1049);
    EXPECT_TRUE(WaitInEventLoop([&] { return modeText().contains(QStringLiteral(" Гц; ")); }))
        << modeText().toStdString();
}

// Whatever placement the settings file holds, or none at all, the window and the dialogs it
// opens lie wholly on the available area of the screen.
TEST_F(ProgramWindow, TheWindowAndItsDialogsOpenWhollyOnTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    auto placement = [](int left, int top, int width, int height) {
        TWindowPlacement stored;
        stored.NormalLeft = left;
        stored.NormalTop = top;
        stored.NormalRight = left + width;
        stored.NormalBottom = top + height;
        return "[OtherSettings]\r\nPlacement=" + stored.ToHex().toLatin1() + "\r\n";
    };
    struct TCase {
        const char* Name;
        QByteArray Settings;
    };
    const TCase cases[] = {
        {"first start", QByteArray()},
        {"above and left of the screen", placement(-300, -200, 500, 400)},
        {"hanging over the bottom right",
         placement(area.right() - 100, area.bottom() - 50, 500, 400)},
        {"larger than the screen", placement(0, 0, area.width() + 400, area.height() + 300)},
        {"on a screen that is gone", placement(20000, 20000, 500, 400)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteSettings(c.Settings);
        TfrmQuorvMain& main = ShowMainWindow();
        EXPECT_TRUE(area.contains(main.frameGeometry()))
            << main.frameGeometry().x() << "," << main.frameGeometry().y() << " "
            << main.frameGeometry().width() << "x" << main.frameGeometry().height() << " min "
            << main.minimumSizeHint().width() << "x" << main.minimumSizeHint().height() << " in "
            << area.width() << "x" << area.height();
        TfrmRecSettings& dialog = Forms->frmRecSettings;
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog, 5000));
            EXPECT_TRUE(area.contains(dialog.frameGeometry()));
            dialog.reject();
        });
        main.Widgets().actRecSettings->trigger();
        Forms->AboutBox.show();
        EXPECT_TRUE(area.contains(Forms->AboutBox.frameGeometry()));
        Forms->AboutBox.hide();
        Forms.reset();
    }
}

// After each switch the lists are read again in the new language and their columns show the
// new texts whole, a shorter language after a longer one included.
TEST_F(ProgramWindow, AfterASwitchEveryColumnShowsItsTextsWhole) {
    WriteSettings("[Settings]\r\nConnectType=3\r\n"); // the emulation over the demo image
    TfrmQuorvMain& main = ShowMainWindow();
    ASSERT_TRUE(
        WaitInEventLoop([&] { return main.IsConnected() && main.RecordList().Count() > 0; }));
    QTreeView* view = main.Widgets().lvRecContent;
    const QFontMetrics metrics(view->font());
    for (const std::uint16_t language : {std::uint16_t{1049}, English, std::uint16_t{1031}}) {
        SCOPED_TRACE(language);
        SwitchTo(language);
        const QString downloaded = QString::fromStdString(GetLangConstant("rsNonDownloadedStr"));
        ASSERT_TRUE(WaitInEventLoop([&] {
            for (int row = 0; row < view->model()->rowCount(); ++row)
                if (view->model()->index(row, 5).data().toString() == downloaded)
                    return true;
            return false;
        }));
        for (int column = 0; column < view->model()->columnCount(); ++column)
            for (int row = 0; row < view->model()->rowCount(); ++row) {
                const QString text = view->model()->index(row, column).data().toString();
                EXPECT_GE(view->columnWidth(column), metrics.horizontalAdvance(text))
                    << column << " " << text.toStdString();
            }
    }
}

// At the window's default size every button of the tool bar shows in each language, none
// behind the bar's extension button, with the copy buttons showing their move actions too.
TEST_F(ProgramWindow, EveryToolBarButtonShowsAtTheDefaultSizeInEachLanguage) {
    for (const std::uint16_t language : {English, std::uint16_t{1031}, std::uint16_t{1049}}) {
        SCOPED_TRACE(language);
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
        WriteSettings("[Settings]\r\nLangID=" + QByteArray::number(language) + "\r\n");
        TfrmQuorvMain& main = ShowMainWindow();
        ASSERT_EQ(LangManager()->GetCurrentLanguageID(), language);
        // The test screen may be smaller than a user's.
        main.resize(TfrmQuorvMain::DefaultWindowWidth, TfrmQuorvMain::DefaultWindowHeight);
        QToolBar* bar = main.Widgets().ToolBar1;
        const std::pair<QAction*, QAction*> shown[] = {
            {main.Widgets().actCopyToPC, main.Widgets().actCopyToDefFolder},
            {main.Widgets().actMoveToPC, main.Widgets().actMoveToDefFolder}};
        for (const auto& [toPC, toDefFolder] : shown) {
            SCOPED_TRACE(toPC->objectName().toStdString());
            main.Widgets().tlbtnCopyToPC->setDefaultAction(toPC);
            main.Widgets().tlbtnCopyToDefFolder->setDefaultAction(toDefFolder);
            QApplication::sendPostedEvents();
            bar->layout()->activate();
            ASSERT_EQ(bar->width(), main.width());
            const auto* extension =
                bar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button"));
            ASSERT_NE(extension, nullptr);
            EXPECT_FALSE(extension->isVisible());
            for (QAction* item : bar->actions()) {
                QWidget* widget = bar->widgetForAction(item);
                if (!item->isVisible() || widget == nullptr)
                    continue;
                EXPECT_TRUE(widget->isVisible()) << widget->objectName().toStdString();
                EXPECT_TRUE(bar->rect().contains(widget->geometry()))
                    << widget->objectName().toStdString();
            }
        }
        Forms.reset();
    }
}

// After a language switch the settings dialog, shown before in the other language, has each
// list box wide enough for its longest item in the new one.
TEST_F(ProgramWindow, AfterASwitchTheSettingsListBoxesShowTheirLongestItems) {
    WriteSettings("[Settings]\r\nConnectType=3\r\n"); // the emulation over the demo image
    TfrmQuorvMain& main = ShowMainWindow();
    ASSERT_TRUE(WaitInEventLoop([&] { return main.IsConnected(); }));
    int checked = 0;
    TfrmRecSettings& dialog = Forms->frmRecSettings;
    auto inDialog = [&](const std::function<void()>& user) {
        QTimer::singleShot(0, &dialog, [&] {
            if (QTest::qWaitForWindowExposed(&dialog, 5000))
                user();
            dialog.reject();
        });
        main.Widgets().actRecSettings->trigger();
    };
    // Every page shown once in English.
    inDialog([&] {
        for (int page = 0; page < dialog.pcSettings->count(); ++page) {
            dialog.pcSettings->setCurrentIndex(page);
            QApplication::sendPostedEvents(); // the page laid out as shown
        }
    });
    for (const std::uint16_t language : {std::uint16_t{1049}, std::uint16_t{1031}}) {
        SCOPED_TRACE(language);
        SwitchTo(language);
        inDialog([&] {
            for (int page = 0; page < dialog.pcSettings->count(); ++page) {
                dialog.pcSettings->setCurrentIndex(page);
                QApplication::sendPostedEvents();
                dialog.layout()->activate();
                for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
                    if (!box->isVisible() || box->isEditable())
                        continue;
                    // A box made afresh with the same items measures what they need.
                    QComboBox fresh;
                    fresh.setFont(box->font());
                    for (int i = 0; i < box->count(); ++i)
                        fresh.addItem(box->itemIcon(i), box->itemText(i));
                    EXPECT_GE(box->width(), fresh.sizeHint().width())
                        << box->objectName().toStdString();
                    ++checked;
                }
            }
        });
    }
    EXPECT_GT(checked, 0);
}

} // namespace
