#include "migration/target/UserDataSources.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

std::string UserDataSourcesPath() {
    if (const char* path = std::getenv("ODBCINI"); path != nullptr && path[0] != '\0') {
        return path;
    }
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
        return std::string(user->pw_dir) + "/.odbc.ini";
    }
    return {};
}

void ProtectUserDataSources() noexcept {
    const std::string path = UserDataSourcesPath();
    if (path.empty()) {
        return;
    }
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0 &&
        status.st_uid == getuid() && (status.st_mode & 077) != 0) {
        ::fchmod(fd, 0600);
    }
    ::close(fd);
}
