#pragma once

#include <string>

// The process's limit of open file descriptors (ulimit -n) as text; "unlimited" when it has
// none.
std::string OpenFileLimitText();

// "the limit of open file descriptors (ulimit -n) is 12": why a file could not be opened.
std::string OpenFileLimitNote();

// A system error's text (strerror's), with the limit named when the error is that the
// process has reached its limit of open file descriptors: "Too many open files; the limit of
// open file descriptors (ulimit -n) is 12".
std::string SystemErrorText(int error);

// Whether the process cannot open one more file for its limit of open file descriptors: for
// calls that lose errno on the way (iconv_open reports a converter it could not load for
// want of a descriptor as missing).
bool AtOpenFileLimit() noexcept;
