#include <fstream>
#include <gtest/gtest.h>
#include <set>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangForms.h"
#include "i18n/VexaLangManager.h"
#include "i18n/VexaLangStream.h"
#include "tests/i18n/FakeLanguages.h"

namespace {

using TLines = std::vector<std::string>;

QString Q(const char* text) {
    return QString::fromUtf8(text);
}

// A small form with one of each kind of translatable component.
class TTestForm : public QDialog {
public:
    explicit TTestForm(TVexaLanguageManager& manager, bool load = true) {
        setObjectName("frmTest");
        setWindowTitle("Test form");
        Label1 = Named(new QLabel("Hello", this), "Label1");
        Label1->setToolTip("Greeting");
        Named(new QLabel("12:30...", this), "lbTime");
        Named(new QLabel("", this), "lbEmpty");
        Named(new QLabel("Keep me", this), "lbStatus");
        auto* group = Named(new QGroupBox("Options", this), "gbOptions");
        Button = Named(new QPushButton("&Close", group), "btnClose");
        Timer = Named(new QComboBox(group), "cbTimer");
        Timer->addItem("Off", 10);
        Timer->addItem("Daily", 20);
        Timer->setCurrentIndex(1);
        Named(new QLineEdit("typed", this), "edName");
        Open = Named(new QAction("&Open", this), "actOpen");
        auto* tabs = Named(new QTabWidget(this), "pcPages");
        tabs->addTab(Named(new QWidget, "tsFirst"), "First");
        auto* list = Named(new QTreeWidget(this), "lvFiles");
        list->setHeaderLabels({"Name", "Size"});
        Named(new QLabel("unnamed child", this), "");
        Controller = new TVexaLanguageController(this, &manager);
        Controller->SetIgnoreList({"lbStatus.*", "*.Text", ";*.Items"});
        Controller->SetStoreList({"cbTimer.Items"});
        if (load)
            Controller->Loaded();
    }

    template <typename T> T* Named(T* object, const char* name) {
        object->setObjectName(name);
        return object;
    }
    QString Text(const char* name) const {
        auto* label = findChild<QLabel*>(name);
        return label != nullptr ? label->text() : QString("(none)");
    }

    QLabel* Label1;
    QPushButton* Button;
    QComboBox* Timer;
    QAction* Open;
    TVexaLanguageController* Controller;
};

// The source lines of the test form, as captured at creation, without identifiers.
const TLines TestFormSource = {
    "[frmTest]",
    "Caption=Test form",
    "Label1.Caption=Hello",
    "Label1.Hint=Greeting",
    "gbOptions.Caption=Options",
    "btnClose.Caption=&Close",
    "cbTimer.Items=Off\\nDaily\\n",
    "actOpen.Caption=&Open",
    "tsFirst.Caption=First",
    "lvFiles.Columns[0].Caption=Name",
    "lvFiles.Columns[1].Caption=Size",
};

// "path=00000012,text" becomes "path=text".
TLines WithoutIds(const TLines& lines) {
    TLines out;
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=');
        const std::size_t comma = line.find(',', equals);
        out.push_back(equals == std::string::npos || comma == std::string::npos
                          ? line
                          : line.substr(0, equals + 1) + line.substr(comma + 1));
    }
    return out;
}

// The identifier of a path in source lines; -1 when absent.
int IdOf(const TLines& lines, const std::string& path) {
    for (const std::string& line : lines)
        if (line.starts_with(path + "="))
            return std::stoi(line.substr(path.size() + 1, 8));
    return -1;
}

TLines SourceOf(const TVexaLanguageController& controller) {
    TLines lines;
    controller.WriteLanguageSource(lines);
    return lines;
}

class FormTranslationTest : public ::testing::Test {
protected:
    FormTranslationTest() : Manager(Module) {
        Manager.SetFileReader(std::make_shared<TVexaLangFileParser>());
    }

    void AddLanguage(const std::string& name, const std::string& text) {
        const std::string file = (Folder.Path / name).string();
        std::ofstream(file, std::ios::binary) << text;
        ASSERT_TRUE(Manager.AddLanguageFile(file));
    }

    // German texts for the test form, addressed by the identifiers its controller gives.
    void AddGerman() {
        TLines source;
        {
            TTestForm form(Manager);
            source = SourceOf(*form.Controller);
        }
        auto line = [&](const char* path, const std::string& text) {
            return std::to_string(IdOf(source, path)) + "=" + text + "\n";
        };
        AddLanguage("de.lng", "\xEF\xBB\xBFLANGID=1031\n"
                              "[FRMTEST]\n" +
                                  line("Caption", "Testformular") +
                                  line("Label1.Caption", "Hallo") + "000" +
                                  line("btnClose.Caption", "&Schlie\xC3\x9F"
                                                           "en") +
                                  line("cbTimer.Items", "Aus\\nT\xC3\xA4glich\\n") +
                                  line("actOpen.Caption", "\xC3\x96&ffnen") +
                                  line("tsFirst.Caption", "Erste") +
                                  line("lvFiles.Columns[1].Caption", "Gr\xC3\xB6\xC3\x9F"
                                                                     "e") +
                                  "100000000=unknown identifier\n"
                                  "[frmOther]\n" +
                                  line("Label1.Hint", "not this form"));
    }

    TLanguageFolder Folder;
    TResourceModule Module;
    TVexaLanguageManager Manager;
};

} // namespace

TEST_F(FormTranslationTest, CaptureNumbersTheStoredTextsThatPassTheFilters) {
    TTestForm form(Manager);
    const TLines lines = SourceOf(*form.Controller);
    EXPECT_EQ(WithoutIds(lines), TestFormSource);
    EXPECT_EQ(form.Controller->SectionName(), "frmTest");
    std::set<int> ids;
    for (const std::string& line : TestFormSource) {
        const std::string path = line.substr(0, line.find('='));
        if (path.starts_with("["))
            continue;
        const int id = IdOf(lines, path);
        EXPECT_GE(id, 1) << path;
        EXPECT_LE(id, 99999999) << path;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), TestFormSource.size() - 1) << "identifiers are unique";
    EXPECT_EQ(form.Controller->objectName(), "VexaLanguageController1");
}

TEST_F(FormTranslationTest, OptionsDecideWhichTextsAreCaptured) {
    struct TCase {
        TVexaLanguageControllerOptions Options;
        bool TimeCaptured;  // "12:30..." has no letter
        bool EmptyCaptured; // ""
    };
    const TCase cases[] = {
        {AllVexaLanguageControllerOptions, false, false},
        {vexalcoIgnoreEmptyProps, true, false},
        {0, true, true},
    };
    for (const TCase& test : cases) {
        TTestForm form(Manager, false);
        form.Controller->SetOptions(test.Options);
        form.Controller->Loaded();
        TLines lines;
        form.Controller->WriteLanguageSource(lines);
        auto has = [&](const std::string& prefix) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& line) { return line.starts_with(prefix); });
        };
        EXPECT_EQ(has("lbTime.Caption="), test.TimeCaptured) << test.Options;
        EXPECT_EQ(has("lbEmpty.Caption="), test.EmptyCaptured) << test.Options;
        EXPECT_FALSE(has("lbStatus.")) << "ignored by mask";
        EXPECT_FALSE(has("edName.Text")) << "*.Text ignored";
    }
}

TEST_F(FormTranslationTest, SwitchTranslatesAndTheDefaultRestoresCreationTexts) {
    AddGerman();
    TTestForm form(Manager);
    std::vector<std::string> events;
    form.Controller->OnLanguageChanging = [&](TVexaLanguageController& sender) {
        events.push_back("changing " + sender.SectionName());
    };
    form.Controller->OnLanguageChanged = [&](TVexaLanguageController& sender) {
        events.push_back("changed " + sender.SectionName() + " " +
                         sender.parent()->property("windowTitle").toString().toStdString());
    };

    Manager.SetCurrentLanguageID(1031);
    EXPECT_EQ(form.windowTitle(), "Testformular");
    EXPECT_EQ(form.Text("Label1"), "Hallo");
    EXPECT_EQ(form.Label1->toolTip(), "Greeting"); // not in the file: the default
    EXPECT_EQ(form.Text("lbTime"), "12:30...");    // never captured
    EXPECT_EQ(form.Text("lbStatus"), "Keep me");   // ignored by mask
    EXPECT_EQ(form.Button->text(), Q("&Schließen"));
    EXPECT_EQ(form.Open->text(), Q("Ö&ffnen"));
    ASSERT_EQ(form.Timer->count(), 2);
    EXPECT_EQ(form.Timer->itemText(1), Q("Täglich"));
    EXPECT_EQ(form.Timer->itemData(1).toInt(), 20); // item data and selection stay
    EXPECT_EQ(form.Timer->currentIndex(), 1);
    auto* tabs = form.findChild<QTabWidget*>("pcPages");
    EXPECT_EQ(tabs->tabText(0), "Erste");
    auto* list = form.findChild<QTreeWidget*>("lvFiles");
    EXPECT_EQ(list->headerItem()->text(0), "Name");
    EXPECT_EQ(list->headerItem()->text(1), Q("Größe"));
    EXPECT_EQ(events, (TLines{"changing frmTest", "changed frmTest Testformular"}));

    // The program changes a caption later; the default language restores the creation text.
    form.Label1->setText("Set by the program");
    Manager.SetCurrentLanguageID(1033);
    EXPECT_EQ(form.windowTitle(), "Test form");
    EXPECT_EQ(form.Text("Label1"), "Hello");
    EXPECT_EQ(form.Button->text(), "&Close");
    EXPECT_EQ(form.Timer->itemText(1), "Daily");
    EXPECT_EQ(list->headerItem()->text(1), "Size");
}

TEST_F(FormTranslationTest, FormCreatedAfterASwitchShowsTheCurrentLanguage) {
    AddGerman();
    Manager.SetCurrentLanguageID(1031);
    TTestForm form(Manager);
    EXPECT_EQ(form.windowTitle(), "Testformular");
    // Its defaults are still the built-in texts.
    Manager.SetCurrentLanguageID(1033);
    EXPECT_EQ(form.windowTitle(), "Test form");
}

TEST_F(FormTranslationTest, LanguageFileGoneAtFormCreationKeepsTheFormTexts) {
    AddGerman();
    Manager.SetCurrentLanguageID(1031);
    std::filesystem::remove(Folder.Path / "de.lng");
    TTestForm form(Manager);
    EXPECT_EQ(form.windowTitle(), "Test form");
}

TEST_F(FormTranslationTest, LangDataLayoutAndRoundTrip) {
    // A tiny form: the exact bytes.
    QDialog tiny;
    tiny.setObjectName("F");
    tiny.setWindowTitle("Title");
    (new QLabel("Text", &tiny))->setObjectName("L");
    (new QLabel("", &tiny))->setObjectName("E");
    TVexaLanguageController tinyController(&tiny, &Manager);
    const std::vector<std::uint8_t> expected = {
        1,   0,   'F', 1,   1,   0,   0,   0,                            // "F", one property
        1,   0,   0,   0,   7,   0,   'C', 'a', 'p', 't', 'i', 'o', 'n', // id 1 "Caption"
        1,   2,   0,   0,   0,                                           // two children
        1,   0,   'L', 1,   1,   0,   0,   0,   2,   0,   0,   0,   7,   0,
        'C', 'a', 'p', 't', 'i', 'o', 'n', 0,   1,   0,   'E', 0,   0, // no properties, no children
    };
    EXPECT_EQ(tinyController.WriteLangData(), expected);

    // The test form's stream read by a new form keeps every identifier, even when the
    // new form's walk would number differently; a stored component that is gone is dropped.
    std::vector<std::uint8_t> data;
    {
        TTestForm original(Manager);
        data = original.Controller->WriteLangData();
    }
    TTestForm changed(Manager, false);
    delete changed.findChild<QLabel*>("Label1");
    (new QLabel("New label", &changed))->setObjectName("lbAAA");
    changed.Controller->ReadLangData(data);
    changed.Controller->Loaded();
    TLines lines;
    changed.Controller->WriteLanguageSource(lines);
    TLines expectedLines;
    {
        TTestForm original(Manager);
        expectedLines = SourceOf(*original.Controller);
    }
    std::erase_if(expectedLines,
                  [](const std::string& line) { return line.starts_with("Label1."); });
    EXPECT_EQ(lines, expectedLines); // updating mode adds nothing, not even lbAAA

    // Writing again numbers the new label after the largest identifier.
    int largest = 0;
    for (const std::string& line : TestFormSource)
        largest = std::max(largest, IdOf(lines, line.substr(0, line.find('='))));
    changed.Controller->WriteLangData();
    lines = SourceOf(*changed.Controller);
    EXPECT_EQ(IdOf(lines, "lbAAA.Caption"), largest + 1);
}

TEST_F(FormTranslationTest, DamagedLangDataThrowsAndKeepsTheTree) {
    std::vector<std::uint8_t> data;
    {
        TTestForm original(Manager);
        data = original.Controller->WriteLangData();
    }
    TTestForm form(Manager);
    TLines before;
    form.Controller->WriteLanguageSource(before);
    for (std::size_t cut = 0; cut < data.size(); ++cut) {
        std::vector<std::uint8_t> part(data.begin(), data.begin() + static_cast<long>(cut));
        EXPECT_THROW(form.Controller->ReadLangData(part), EVexaLangError) << cut;
    }
    // Counts far beyond the stream, negative counts and endless nesting.
    const std::vector<std::vector<std::uint8_t>> bad = {
        {1, 0, 'F', 1, 0xFF, 0xFF, 0xFF, 0x7F},
        {1, 0, 'F', 1, 0xFF, 0xFF, 0xFF, 0xFF},
        {1, 0, 'F', 0, 1, 0x00, 0x00, 0x00, 0x10},
    };
    for (const auto& bytes : bad)
        EXPECT_THROW(form.Controller->ReadLangData(bytes), EVexaLangError);
    std::vector<std::uint8_t> deep;
    for (int i = 0; i < 200; ++i)
        deep.insert(deep.end(), {0, 0, 0, 1, 1, 0, 0, 0});
    deep.insert(deep.end(), {0, 0, 0, 0});
    EXPECT_THROW(form.Controller->ReadLangData(deep), EVexaLangError);

    TLines after;
    form.Controller->WriteLanguageSource(after);
    EXPECT_EQ(after, before);
}

TEST_F(FormTranslationTest, DeletedComponentsLeaveTheTree) {
    AddGerman();
    TTestForm form(Manager);
    // A handler that deletes another component while the texts are written.
    QObject::connect(form.Timer, &QComboBox::currentTextChanged, &form,
                     [&form] { delete form.findChild<QAction*>("actOpen"); });
    delete form.findChild<QLabel*>("lbTime");
    Manager.SetCurrentLanguageID(1031);
    EXPECT_EQ(form.findChild<QAction*>("actOpen"), nullptr);
    TLines lines;
    form.Controller->WriteLanguageSource(lines);
    for (const std::string& line : lines) {
        EXPECT_FALSE(line.starts_with("lbTime.")) << line;
        EXPECT_FALSE(line.starts_with("actOpen.")) << line;
    }
    Manager.SetCurrentLanguageID(1033);
    EXPECT_EQ(form.windowTitle(), "Test form");
}

TEST_F(FormTranslationTest, NestedFormsTranslateThemselves) {
    TTestForm outer(Manager);
    TTestForm inner(Manager, false);
    inner.setParent(&outer, Qt::Dialog);
    inner.setObjectName("frmInner");
    inner.Controller->Loaded();
    std::vector<std::uint8_t> data = outer.Controller->WriteLangData();
    TLines lines;
    outer.Controller->WriteLanguageSource(lines);
    EXPECT_EQ(WithoutIds(lines), TestFormSource);
    lines.clear();
    inner.Controller->WriteLanguageSource(lines);
    EXPECT_EQ(lines.front(), "[frmInner]");
    inner.setParent(nullptr);
}

TEST_F(FormTranslationTest, StoreListTakesTextsTheFormDoesNotDefine) {
    // A tool button that shows an action takes its texts from the action; only the store
    // list brings its own caption in. An action's explicit tool tip is its hint.
    for (bool listed : {false, true}) {
        QDialog form;
        form.setObjectName("frmTools");
        auto* action = new QAction("&Connect", &form);
        action->setObjectName("actConnect");
        action->setToolTip("Connect to the recorder");
        auto* button = new QToolButton(&form);
        button->setObjectName("tlbtnConnect");
        button->setDefaultAction(action);
        TVexaLanguageController controller(&form, &Manager);
        if (listed)
            controller.SetStoreList({"TLBTN*.caption"});
        controller.Loaded();
        TLines lines;
        controller.WriteLanguageSource(lines);
        TLines expected = {"[frmTools]", "actConnect.Caption=&Connect",
                           "actConnect.Hint=Connect to the recorder"};
        if (listed)
            expected.push_back("tlbtnConnect.Caption=Connect"); // shown without "&"
        EXPECT_EQ(WithoutIds(lines), expected);
    }
}

TEST_F(FormTranslationTest, IdentifiersSurviveAddedAndReorderedComponents) {
    TTestForm plain(Manager);
    const TLines before = SourceOf(*plain.Controller);

    // The same form with a new label created first and the button moved to the end.
    QDialog changed;
    changed.setObjectName("frmTest");
    changed.setWindowTitle("Test form");
    (new QLabel("Brand new", &changed))->setObjectName("lbNew");
    (new QLabel("Hello", &changed))->setObjectName("Label1");
    (new QPushButton("&Close", &changed))->setObjectName("btnClose");
    TVexaLanguageController controller(&changed, &Manager);
    controller.Loaded();
    const TLines after = SourceOf(controller);
    for (const char* path : {"Caption", "Label1.Caption", "btnClose.Caption"})
        EXPECT_EQ(IdOf(after, path), IdOf(before, path)) << path;
    EXPECT_GT(IdOf(after, "lbNew.Caption"), 0);
}
