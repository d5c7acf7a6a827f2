#include "dbaccess/MdbQuiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {

std::recursive_mutex& RedirectLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        if (text.size() < 64 * 1024) {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    return text;
}

}  // namespace

MdbQuiet::MdbQuiet() noexcept {
    RedirectLock().lock();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        RedirectLock().unlock();
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    m_savedOut = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    m_savedErr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);
    m_pipeRead = fds[0];
    m_active = true;
}

MdbQuiet::~MdbQuiet() {
    End();
}

std::string MdbQuiet::End(size_t maxBytes) noexcept {
    if (!m_active) {
        return {};
    }
    m_active = false;
    std::fflush(stdout);
    std::fflush(stderr);
    // A full pipe makes stdio mark the streams as failed; that must not outlive the section.
    std::clearerr(stdout);
    std::clearerr(stderr);
    if (m_savedOut >= 0) {
        dup2(m_savedOut, STDOUT_FILENO);
        close(m_savedOut);
    }
    if (m_savedErr >= 0) {
        dup2(m_savedErr, STDERR_FILENO);
        close(m_savedErr);
    }
    std::string said;
    try {
        said = OneLine(Drain(m_pipeRead), maxBytes);
    } catch (...) {
        said.clear();
    }
    close(m_pipeRead);
    RedirectLock().unlock();
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
        size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line.resize(cut);
        line += "...";
    }
    return line;
}

std::string WithLibmdbText(const std::string& message, const std::string& said) {
    if (said.empty()) {
        return message;
    }
    const bool stop = !message.empty() && message.back() == '.';
    return message.substr(0, message.size() - (stop ? 1 : 0)) + " (libmdb: " + said + ")" +
           (stop ? "." : "");
}
