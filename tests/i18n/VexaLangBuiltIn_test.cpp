#include <gtest/gtest.h>
#include <set>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangBuiltIn.h"
#include "i18n/VexaLangResources.h"
#include "platform/CodePage.h"

// The 134 constants of the first program, and the ones added since for texts that were
// written into the code.
TEST(VexaLangBuiltIn, TableHoldsTheFirst134AndTheAddedUniqueValidNames) {
    auto table = BuiltInConstants();
    EXPECT_GE(table.size(), 134u);
    std::set<std::string> upperNames;
    for (const TBuiltInConstant& constant : table) {
        EXPECT_TRUE(TVexaLang_Constants::IsValidName(constant.Name)) << constant.Name;
        EXPECT_TRUE(IsValidUtf8(constant.Text)) << constant.Name;
        std::string upper = constant.Name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(upperNames.insert(upper).second) << constant.Name;
    }
    // The thirteen model captions, looked up by model number.
    for (int model : {1, 2, 3, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18})
        EXPECT_EQ(upperNames.count("RECMODELSTR" + std::to_string(model)), 1u) << model;
    EXPECT_EQ(upperNames.count("RECMODELSTR4"), 0u);
}

TEST(VexaLangBuiltIn, ResourceStreamHoldsTheTableInTheCurrentLayout) {
    const std::vector<std::uint8_t>* stream = ProgramModule().FindResource("VEXALANG_CONSTS");
    ASSERT_NE(stream, nullptr);
    // Size from the layout: version, flag, count, then per pair two counted UTF-16 strings.
    std::size_t expectedSize = 1 + 1 + 4;
    for (const TBuiltInConstant& constant : BuiltInConstants())
        expectedSize +=
            2 + 2 * Utf8ToUtf16(constant.Name).size() + 2 + 2 * Utf8ToUtf16(constant.Text).size();
    EXPECT_EQ(stream->size(), expectedSize);
    ASSERT_GE(stream->size(), 6u);
    EXPECT_EQ((*stream)[0], 3);
    EXPECT_EQ((*stream)[1], 1);
    const auto count = static_cast<int>(BuiltInConstants().size());
    EXPECT_EQ((*stream)[2] | ((*stream)[3] << 8), count);

    TVexaLang_Constants table;
    table.ReadConstantsStream(*stream);
    ASSERT_EQ(table.Count(), count);
    for (const TBuiltInConstant& constant : BuiltInConstants())
        EXPECT_EQ(table.GetValueByName(constant.Name), constant.Text) << constant.Name;
}

TEST(VexaLangBuiltIn, GetLangConstantGivesTheEnglishTexts) {
    struct TCase {
        const char* Name;
        const char* Text;
    };
    const TCase cases[] = {
        {"AccessQuestionStr", "Access to recorder is protected by password.\r\nEnter password:"},
        {"accessquestionstr", "Access to recorder is protected by password.\r\nEnter password:"},
        {"ExceptErrorStr", "ERROR: %s. Cmd: %d; Error code %d"},
        {"DefFolderStr", "\\Sounds"},
        {"TelNumberStr", "\xE2\x84\x96"},
        {"RecFilePrefixStr", "OMVela"},
        {"CIDDisabledStr", "Dasabled"},
        {"AddFileInfoStr", "Recorder model: %s\r\n    S/N:%s.\r\n    Integerity checking:"},
        {"DefFNMaskStr", "file_[rn]_([yyyy]_[mm]_[dd]-[hh_nn_ss])_[sn].wav"},
        {"FileInfoStr", "File info:\r\n    Data size: %Ld\r\n    Channels: %d\r\n    Sample rate: "
                        "%d\r\n    Block align: %d\r\n    Length: %.2d:%.2d:%.2d\r\n\r\nAdditional "
                        "info:\r\n"},
        {"SettingsNotSaved",
         "Settings are changed but not applied to recorder.\r\nApply settings to recorder?"},
        {"RecModelStr9", "Recorder model 9"},
        {"WarningStr", "Warning"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(GetLangConstant(c.Name), c.Text) << c.Name;
    EXPECT_EQ(LangManager()->GetCurrentLanguageID(), 1033);
}

TEST(VexaLangBuiltIn, UnknownNameFailsWithItsName) {
    try {
        GetLangConstant("AccessQuestionStrr");
        FAIL() << "no error";
    } catch (const EVexaLangError& error) {
        EXPECT_STREQ(error.what(), "Constant \"AccessQuestionStrr\" not found");
    }
}
