#pragma once

#include <QString>

// The folder the pictures go to, as the tool's command line named it.
inline QString PictureFolder() {
    return qEnvironmentVariable("QUORVEX_PICTURES");
}
