#pragma once

#include <new>
#include <string>

// Keeps libmdb off the user's terminal. libmdb reports trouble by printing to standard error
// (and dumps hex to standard output); while any MdbQuiet lives, file descriptors 1 and 2 point
// into one pipe instead, and each section sees what was written there since it began. The
// pipe does not block: past its capacity further output is dropped, never waited on.
//
// The redirection is process-wide, so a section spans single libmdb calls that can print
// (opening a file, reading a table's definition), never a table read: other threads' output
// meanwhile lands in the pipe. Sections may overlap and end in any order; the descriptors
// come back when the last one ends.
//
// The pipe and the two places that hold descriptors 1 and 2 during a section are opened by
// the first section and kept: only that one can run into the limit of open files, and it
// comes before libmdb has read anything.
class MdbQuiet {
public:
    // Throws CDaoException, naming the limit of open files, when the pipe cannot be made;
    // descriptors 1 and 2 are then left as they are.
    MdbQuiet();
    // For a destructor: lets libmdb print to the terminal instead of throwing.
    explicit MdbQuiet(std::nothrow_t) noexcept;
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
    // The most of libmdb's output any section keeps.
    static constexpr size_t kKeptBytes = 64 * 1024;

private:
    // Starts the section; false when the pipe cannot be made (errno tells why).
    bool Begin() noexcept;

    size_t m_mark = 0;
    bool m_active = false;
};

// Makes raw output printable in one line of a message: white space runs become one blank,
// other control bytes are dropped, the result is trimmed and cut to maxBytes (at a UTF-8
// character boundary, with "..." appended when cut).
std::string OneLine(const std::string& raw, size_t maxBytes);
