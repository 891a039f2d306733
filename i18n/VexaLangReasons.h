#pragma once

#include <string>

// The reason for a failed file operation, for messages shown to the user: the current
// language's text for the reasons the program reports (no space, read-only, permission, is a
// folder, not found, input/output error, exists, name too long), the system's own text for
// any other error number. Safe on any thread.
std::string SystemReasonText(int error);
