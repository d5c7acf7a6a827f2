#pragma once

#include <string>

// Keeps libmdb off the user's terminal. libmdb reports trouble by printing to standard error
// (and dumps hex to standard output); while an MdbQuiet lives, file descriptors 1 and 2 point
// into a pipe instead, and End() gives back the start of what was written there. The pipe
// does not block: past its capacity further output is dropped, never waited on.
// Redirection is process-wide, so sections are serialised with one lock; keep them short.
class MdbQuiet {
public:
    MdbQuiet() noexcept;
    ~MdbQuiet();
    MdbQuiet(const MdbQuiet&) = delete;
    MdbQuiet& operator=(const MdbQuiet&) = delete;

    // Restores the descriptors and returns what was printed, runs of white space made one
    // blank and cut to maxBytes. Later calls return "".
    std::string End(size_t maxBytes = 400) noexcept;

private:
    int m_pipeRead = -1;
    int m_savedOut = -1;
    int m_savedErr = -1;
    bool m_active = false;
};

// Makes raw output printable in one line of a message: white space runs become one blank,
// other control bytes are dropped, the result is trimmed and cut to maxBytes (at a UTF-8
// character boundary, with "..." appended when cut).
std::string OneLine(const std::string& raw, size_t maxBytes);

// Adds what libmdb printed to a message, in parentheses before its closing full stop:
// "... cannot be read (libmdb: offset 8192 is beyond EOF)." Nothing is added when it is empty.
std::string WithLibmdbText(const std::string& message, const std::string& said);
