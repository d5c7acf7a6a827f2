#include "app/SummaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/RunSummary.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw CException(TrFormat("Cannot write '%1': %2.", {path, why}));
}

// Writes into a stream that exists already; false when path turned out to be a regular
// file after all.
bool WriteInPlace(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(path, errno == ENXIO ? Tr("no program reads from it") : std::strerror(errno));
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    // Opened without waiting for a reader; once one is there, the writes may wait for it.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool written = true;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        written = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    const int error = errno;
    close(fd);
    if (!written) {
        Fail(path, std::strerror(error));
    }
    return true;
}

// Where path leads, also before anything is there: its folder made absolute with every link
// and "." and ".." resolved, then its name; with bFollow, a link at the end is followed too
// (up to the system's 40 links). What creating, opening or replacing the file by this path
// would reach.
fs::path PlaceOf(const std::string& path, bool bFollow) {
    std::error_code error;
    fs::path place = fs::absolute(path, error);
    if (error) {
        return fs::path(path).lexically_normal();
    }
    for (int links = 0; links <= 40; ++links) {
        const fs::path name = place.filename();
        if (name.empty() || name == "." || name == "..") {
            const fs::path whole = fs::weakly_canonical(place, error);
            return error ? place.lexically_normal() : whole;
        }
        const fs::path folder = fs::weakly_canonical(place.parent_path(), error);
        place = (error ? place.parent_path().lexically_normal() : folder) / name;
        if (!bFollow || !fs::is_symlink(place, error)) {
            break;
        }
        const fs::path target = fs::read_symlink(place, error);
        if (error) {
            break;
        }
        place = target.is_absolute() ? target : place.parent_path() / target;
    }
    return place;
}

}  // namespace
std::string SummaryPathProblem(const std::string& path, const std::string& source,
                               const std::string& targetFile, const std::string& connectionFile) {
    struct stat summary {};
    const bool bSummaryExists = stat(path.c_str(), &summary) == 0;
    if (bSummaryExists && S_ISDIR(summary.st_mode)) {
        return TrFormat(
            "brimlow-migrate: the summary file %1 is a folder; name a file for "
            "--summary",
            {path});
    }
    // The summary replaces a link at its path rather than writing through it, but a link
    // there that leads to a file of the run is refused all the same: it was meant as that file.
    const fs::path summaryPlace = PlaceOf(path, false);
    const fs::path summaryDestination = PlaceOf(path, true);
    const std::string namedFile = connectionFile == "-" ? std::string() : connectionFile;
    const std::pair<const char*, const std::string&> files[] = {
        {TrNoop("brimlow-migrate: the summary file %1 is the source file %2; name another file "
                "for --summary"),
         source},
        {TrNoop("brimlow-migrate: the summary file %1 is the target file %2; name another file "
                "for --summary"),
         targetFile},
        {TrNoop("brimlow-migrate: the summary file %1 is the connection string file %2; name "
                "another file for --summary"),
         namedFile}};
    for (const auto& [english, file] : files) {
        if (file.empty()) {
            continue;
        }
        struct stat info {};
        const bool bSameFile = bSummaryExists && stat(file.c_str(), &info) == 0 &&
                               info.st_dev == summary.st_dev && info.st_ino == summary.st_ino;
        const fs::path destination = PlaceOf(file, true);
        if (bSameFile || destination == summaryPlace || destination == summaryDestination) {
            return TrFormat(english, {path, file});
        }
    }
    return {};
}

bool SummaryIsStream(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

void WriteSummary(const std::string& path, const std::string& text) {
    if (SummaryIsStream(path) && WriteInPlace(path, text)) {
        return;
    }
    WriteFileAtomically(path, text);
}
