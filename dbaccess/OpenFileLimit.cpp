#include "dbaccess/OpenFileLimit.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string OpenFileLimitText() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return "unlimited";
    }
    return std::to_string(limit.rlim_cur);
}

std::string OpenFileLimitNote() {
    return "the limit of open file descriptors (ulimit -n) is " + OpenFileLimitText();
}

std::string SystemErrorText(int error) {
    std::string text = std::strerror(error);
    if (error == EMFILE) {
        text += "; " + OpenFileLimitNote();
    }
    return text;
}

bool AtOpenFileLimit() noexcept {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == EMFILE;
    }
    close(fd);
    return false;
}

int DescriptorShortage() noexcept {
    // A load takes one descriptor at a time, but what failed did so earlier, maybe with a
    // few less free than now.
    constexpr int kHeadroom = 4;
    int held[kHeadroom];
    int opened = 0;
    int shortage = 0;
    for (; opened < kHeadroom; ++opened) {
        held[opened] = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (held[opened] < 0) {
            shortage = errno == EMFILE || errno == ENFILE ? errno : 0;
            break;
        }
    }
    for (int i = 0; i < opened; ++i) {
        close(held[i]);
    }
    return shortage;
}
