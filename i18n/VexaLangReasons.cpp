#include "i18n/VexaLangReasons.h"

#include <cerrno>
#include <system_error>

#include "i18n/VexaLang.h"

namespace {

struct TReasonConstant {
    int Error;
    const char* Constant;
};

// EPERM and EACCES read the same to a user.
constexpr TReasonConstant ReasonConstants[] = {
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

} // namespace

std::string SystemReasonText(int error) {
    for (const TReasonConstant& reason : ReasonConstants)
        if (reason.Error == error)
            return GetLangConstant(reason.Constant);
    // generic_category's message does not share strerror's static buffer between threads.
    return std::error_code(error, std::generic_category()).message();
}
