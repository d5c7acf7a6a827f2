#include "dbaccess/access/libmdb/MdbQuiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "dbaccess/Utf8Cut.h"

namespace {

constexpr size_t kKeptBytes = 64 * 1024;

// The one redirection all sections share.
struct Capture {
    std::mutex lock;
    int sections = 0;
    int pipeRead = -1;
    int savedOut = -1;
    int savedErr = -1;
    // What was drained from the pipe so far (the first kKeptBytes of it), and how much.
    std::string kept;
    size_t total = 0;

    void Drain() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(pipeRead, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            if (kept.size() < kKeptBytes) {
                kept.append(buffer, std::min(static_cast<size_t>(n), kKeptBytes - kept.size()));
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

// Taken before main runs, before anything can redirect descriptor 2.
const int g_ownStandardError = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);

}  // namespace

int OwnStandardError() noexcept {
    return g_ownStandardError >= 0 ? g_ownStandardError : STDERR_FILENO;
}

MdbQuiet::MdbQuiet() noexcept {
    Capture& capture = TheCapture();
    std::lock_guard<std::mutex> hold(capture.lock);
    if (capture.sections == 0) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        capture.savedOut = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        capture.savedErr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[1]);
        capture.pipeRead = fds[0];
        capture.kept.clear();
        capture.total = 0;
    } else {
        std::fflush(stdout);
        std::fflush(stderr);
        capture.Drain();
    }
    ++capture.sections;
    m_mark = capture.total;
    m_active = true;
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
    // A full pipe makes stdio mark the streams as failed; that must not outlive the section.
    std::clearerr(stdout);
    std::clearerr(stderr);
    if (capture.savedOut >= 0) {
        dup2(capture.savedOut, STDOUT_FILENO);
        close(capture.savedOut);
        capture.savedOut = -1;
    }
    if (capture.savedErr >= 0) {
        dup2(capture.savedErr, STDERR_FILENO);
        close(capture.savedErr);
        capture.savedErr = -1;
    }
    close(capture.pipeRead);
    capture.pipeRead = -1;
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
