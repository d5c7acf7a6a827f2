#include "migration/DifferencesFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

namespace {

std::string Base() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return state;
    }
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] == '/') {
        home = value;
    } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir) {
        home = user->pw_dir;
    }
    if (home.empty()) {
        throw CException(
            Tr("The program's records have no place: neither XDG_STATE_HOME nor "
               "HOME names a folder."));
    }
    return home + "/.local/state";
}

[[noreturn]] void ThrowFailure(const std::string& path, int error) {
    throw CException(TrFormat("%1 cannot be written: %2", {path, std::strerror(error)}));
}

// Creates path (mode) unless it exists; refuses a link or anything but a folder.
void MakeFolder(const std::string& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        ThrowFailure(path, errno);
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        ThrowFailure(path, errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        ThrowFailure(path, ENOTDIR);
    }
}

// Creates every missing folder of path but the last, the way mkdir -p does.
void MakeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
            ThrowFailure(parent, errno);
        }
    }
}

}  // namespace

std::string RecordsFolder() {
    const std::string base = Base();
    MakeParents(base + "/");
    const std::string folder = base + "/brimlow";
    MakeFolder(folder, 0700);
    return folder;
}

std::string WriteDifferencesFile(const CVerification& result) {
    const std::string folder = RecordsFolder();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        ThrowFailure(folder, errno);
    }
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string name =
        std::string("differences-") + stamp + "-" + std::to_string(::getpid()) + ".txt";
    const std::string path = folder + "/" + name;
    const int fd =
        ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int openError = errno;
    ::close(dir);
    if (fd < 0) {
        ThrowFailure(path, openError);
    }
    std::string text;
    for (const CVerification::Table& table : result.tables) {
        for (const CVerification::Difference& difference : table.differences) {
            text += DescribeDifference(table.table, difference) + "\n";
        }
    }
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            ::close(fd);
            ThrowFailure(path, error);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) {
        ThrowFailure(path, errno);
    }
    return path;
}
