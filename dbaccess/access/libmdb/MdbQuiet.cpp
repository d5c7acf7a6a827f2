#include "dbaccess/access/libmdb/MdbQuiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"
#include "dbaccess/Utf8Cut.h"

namespace {

// A descriptor numbered 3 or above, the one given closed: with descriptor 0, 1 or 2 closed,
// the pipe could otherwise be handed that number and be overwritten by the redirection.
int AboveStandard(int fd) noexcept {
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

// Where descriptor 1 or 2 is kept while a section lasts.
struct Held {
    enum class State { Open, Closed, Untouched };
    int fd = -1;  // opened once, then overwritten by each section
    State state = State::Untouched;

    // Keeps the standard descriptor and points it into the pipe. A closed one is pointed
    // there too (libmdb would otherwise print to whatever gets its number) and closed again.
    void Take(int standard, int pipeWrite) noexcept {
        if (dup3(standard, fd, O_CLOEXEC) >= 0) {
            state = State::Open;
        } else {
            state = errno == EBADF ? State::Closed : State::Untouched;
        }
        if (state != State::Untouched) {
            dup2(pipeWrite, standard);
        }
    }
    void GiveBack(int standard) const noexcept {
        if (state == State::Open) {
            dup2(fd, standard);
        } else if (state == State::Closed) {
            close(standard);
        }
    }
};

// The one redirection all sections share.
struct Capture {
    std::mutex lock;
    int sections = 0;
    int pipeRead = -1;
    int pipeWrite = -1;
    Held out;
    Held err;
    // Whether stdio had marked the streams as failed before the sections began.
    bool outFailed = false;
    bool errFailed = false;
    // What was drained from the pipe so far (the first kKeptBytes of it), and how much.
    std::string kept;
    size_t total = 0;

    // Opens the pipe and the places for descriptors 1 and 2 unless they are open; false with
    // errno set when they cannot be opened (then none is).
    bool Open() noexcept {
        if (pipeRead >= 0) {
            return true;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        int opened[4] = {AboveStandard(fds[0]), AboveStandard(fds[1]), -1, -1};
        if (opened[0] >= 0 && opened[1] >= 0) {
            opened[2] = fcntl(opened[0], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        }
        if (opened[2] >= 0) {
            opened[3] = fcntl(opened[0], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        }
        if (opened[3] < 0) {
            const int error = errno;
            for (int fd : opened) {
                if (fd >= 0) {
                    close(fd);
                }
            }
            errno = error;
            return false;
        }
        pipeRead = opened[0];
        pipeWrite = opened[1];
        out.fd = opened[2];
        err.fd = opened[3];
        return true;
    }

    void Drain() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(pipeRead, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            if (kept.size() < MdbQuiet::kKeptBytes) {
                kept.append(buffer,
                            std::min(static_cast<size_t>(n), MdbQuiet::kKeptBytes - kept.size()));
            }
            total += static_cast<size_t>(n);
        }
    }

    std::string Since(size_t mark) const {
        if (mark < kept.size()) {
            return kept.substr(mark);
        }
        return total > mark ? "..." : "";
    }
};

Capture& TheCapture() {
    static Capture capture;
    return capture;
}

}  // namespace

MdbQuiet::MdbQuiet() {
    if (!Begin()) {
        const int error = errno;
        // The process is at its limit of open files: as a file that cannot be opened.
        throw CDaoException(
            SourceFailureKind::CannotOpen,
            CDaoMessage::Format(
                TrNoop(
                    "libmdb's output cannot be kept off the terminal: %1; the limit of open file "
                    "descriptors (ulimit -n) is %2."),
                {SourceReason(std::strerror(error)), SourceReason(OpenFileLimitText())}));
    }
}

MdbQuiet::MdbQuiet(std::nothrow_t) noexcept {
    (void)Begin();
}

bool MdbQuiet::Begin() noexcept {
    Capture& capture = TheCapture();
    std::lock_guard<std::mutex> hold(capture.lock);
    if (!capture.Open()) {
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    if (capture.sections == 0) {
        capture.outFailed = std::ferror(stdout) != 0;
        capture.errFailed = std::ferror(stderr) != 0;
        capture.out.Take(STDOUT_FILENO, capture.pipeWrite);
        capture.err.Take(STDERR_FILENO, capture.pipeWrite);
        capture.kept.clear();
        capture.total = 0;
    } else {
        try {
            capture.Drain();
        } catch (...) {
        }
    }
    ++capture.sections;
    m_mark = capture.total;
    m_active = true;
    return true;
}

MdbQuiet::~MdbQuiet() {
    End();
}

std::string MdbQuiet::Said(size_t maxBytes) noexcept {
    if (!m_active) {
        return {};
    }
    Capture& capture = TheCapture();
    std::lock_guard<std::mutex> hold(capture.lock);
    std::fflush(stdout);
    std::fflush(stderr);
    try {
        capture.Drain();
        return OneLine(capture.Since(m_mark), maxBytes);
    } catch (...) {
        return {};
    }
}

std::string MdbQuiet::End(size_t maxBytes) noexcept {
    if (!m_active) {
        return {};
    }
    const std::string said = Said(maxBytes);
    m_active = false;
    Capture& capture = TheCapture();
    std::lock_guard<std::mutex> hold(capture.lock);
    if (--capture.sections > 0) {
        return said;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // A full pipe makes stdio mark the streams as failed; that must not outlive the sections,
    // and a failure from before them must.
    if (!capture.outFailed) {
        std::clearerr(stdout);
    }
    if (!capture.errFailed) {
        std::clearerr(stderr);
    }
    capture.out.GiveBack(STDOUT_FILENO);
    capture.err.GiveBack(STDERR_FILENO);
    try {
        capture.Drain();
    } catch (...) {
    }
    capture.kept.clear();
    capture.kept.shrink_to_fit();
    capture.total = 0;
    return said;
}

std::string OneLine(const std::string& raw, size_t maxBytes) {
    std::string line;
    bool blank = false;
    for (unsigned char c : raw) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            blank = !line.empty();
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            continue;
        }
        if (blank) {
            line += ' ';
            blank = false;
        }
        line += static_cast<char>(c);
        if (line.size() > maxBytes) {
            break;
        }
    }
    if (line.size() > maxBytes) {
        line = CutUtf8(std::move(line), maxBytes) + "...";
    }
    return line;
}
