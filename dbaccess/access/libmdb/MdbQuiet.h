#pragma once

#include <string>

// Keeps libmdb off the user's terminal. libmdb reports trouble by printing to standard error
// (and dumps hex to standard output); while any MdbQuiet lives, file descriptors 1 and 2 point
// into one pipe instead, and each section sees what was written there since it began. The
// pipe does not block: past its capacity further output is dropped, never waited on.
// Sections may overlap and end in any order (a table reader holds one for as long as it
// reads); the descriptors come back when the last one ends. Since a section can last a
// whole table, the program's own diagnostics go to OwnStandardError(), never to descriptor 2.
class MdbQuiet {
public:
    MdbQuiet() noexcept;
    ~MdbQuiet();
    MdbQuiet(const MdbQuiet&) = delete;
    MdbQuiet& operator=(const MdbQuiet&) = delete;

    // What was printed since the section began, runs of white space made one blank and cut
    // to maxBytes; the section goes on.
    std::string Said(size_t maxBytes = kShortBytes) noexcept;
    // Ends the section and returns Said(maxBytes). Later calls return "".
    std::string End(size_t maxBytes = kShortBytes) noexcept;

    // How much of libmdb's output a message quotes by default.
    static constexpr size_t kShortBytes = 160;

private:
    size_t m_mark = 0;
    bool m_active = false;
};

// A copy of standard error taken when the program started, which no MdbQuiet redirects: for
// the program's own messages and progress lines while libmdb is being kept quiet.
int OwnStandardError() noexcept;

// Makes raw output printable in one line of a message: white space runs become one blank,
// other control bytes are dropped, the result is trimmed and cut to maxBytes (at a UTF-8
// character boundary, with "..." appended when cut).
std::string OneLine(const std::string& raw, size_t maxBytes);
