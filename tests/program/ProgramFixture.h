#pragma once

// The program as its entry starts it, beside a folder of its own that holds the shipped
// language files and, when a test writes one, its settings file.
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "i18n/VexaLang.h"
#include "program/ProgramForms.h"
#include "tests/support/EventLoopWait.h"
#include "ui/QtTranslations.h"

struct TShippedLanguage {
    const char* FileName;
    std::uint16_t LangId;
};
inline constexpr TShippedLanguage ShippedLanguages[] = {
    {"Quorvex_deu.lng", 1031},
    {"Quorvex_rus.lng", 1049},
};
inline constexpr std::uint16_t English = 1033;

inline QString ShippedFile(const char* name) {
    return QStringLiteral(QUORVEX_LANGUAGE_FOLDER "/") + QString::fromLatin1(name);
}

using testsupport::WaitInEventLoop;

class TProgramFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        for (const TShippedLanguage& language : ShippedLanguages)
            ASSERT_TRUE(QFile::copy(ShippedFile(language.FileName),
                                    Folder.filePath(QString::fromLatin1(language.FileName))));
        // Each test starts as a fresh installation would.
        ProgramOptions = TProgramOptions{};
        LangID = English;
        // As the program's entry sets the manager up.
        LangManager()->SetDefaultLanguageID(0);
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
    }
    void TearDown() override {
        Forms.reset();
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
        ApplyQtTranslations(English);
        ApplyProgramLocale(English);
    }

    void WriteSettings(const QByteArray& text) {
        QFile file(Folder.filePath(QStringLiteral("Quorvex.set")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    TProgramForms& StartProgram() {
        Forms = std::make_unique<TProgramForms>();
        Forms->Start(Folder.filePath(QStringLiteral("Quorvex")));
        return *Forms;
    }

    void SwitchTo(std::uint16_t langId) {
        auto* item =
            Forms->frmQuorvMain.findChild<QAction*>(QStringLiteral("miLanguage%1").arg(langId));
        ASSERT_NE(item, nullptr) << langId;
        item->trigger();
        ASSERT_EQ(LangManager()->GetCurrentLanguageID(), langId);
    }

    QTemporaryDir Folder;
    std::unique_ptr<TProgramForms> Forms;
};
