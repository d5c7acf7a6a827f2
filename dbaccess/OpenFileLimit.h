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

// Whether the process is short of descriptors: EMFILE when fewer than a few more can be opened
// within its limit, ENFILE when the system's table of open files is full, else 0. For calls
// that lose errno on the way and may have failed for want of one a moment before, when fewer
// still were free (glibc's iconv_open reports a converter it could not load as missing, and
// keeps it missing for the rest of the process).
int DescriptorShortage() noexcept;
