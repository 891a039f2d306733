// The reasons of failed file operations that the program's messages carry.
#include <cerrno>
#include <gtest/gtest.h>
#include <system_error>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangReasons.h"

namespace {

TEST(SystemReason, TheReportedReasonsAreTextConstantsAndTheRestTheSystemsText) {
    struct TCase {
        int Error;
        const char* Constant;
    };
    const TCase cases[] = {
        {ENOSPC, "ReasonNoSpaceStr"},
        {EROFS, "ReasonReadOnlyStr"},
        {EACCES, "ReasonPermissionStr"},
        {EPERM, "ReasonPermissionStr"},
        {EISDIR, "ReasonIsFolderStr"},
        {ENOENT, "ReasonNotFoundStr"},
        {EIO, "ReasonIOErrorStr"},
        {EEXIST, "ReasonExistsStr"},
        {ENAMETOOLONG, "ReasonNameTooLongStr"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Constant);
        EXPECT_EQ(SystemReasonText(c.Error), GetLangConstant(c.Constant));
    }
    EXPECT_EQ(SystemReasonText(ENOSPC), "No space left on device");
    for (const int other : {EFBIG, EMFILE, 123456})
        EXPECT_EQ(SystemReasonText(other), std::generic_category().message(other));
}

} // namespace
