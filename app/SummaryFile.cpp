#include "app/SummaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/RunSummary.h"

namespace {

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

}  // namespace

std::string SummaryPathProblem(const std::string& path, const std::string& source,
                               const std::string& targetFile) {
    struct stat summary {};
    if (stat(path.c_str(), &summary) != 0) {
        return {};
    }
    if (S_ISDIR(summary.st_mode)) {
        return TrFormat(
            "brimlow-migrate: the summary file %1 is a folder; name a file for "
            "--summary",
            {path});
    }
    const std::pair<const char*, const std::string&> files[] = {
        {TrNoop("brimlow-migrate: the summary file %1 is the source file %2; name another file "
                "for --summary"),
         source},
        {TrNoop("brimlow-migrate: the summary file %1 is the target file %2; name another file "
                "for --summary"),
         targetFile}};
    for (const auto& [english, file] : files) {
        struct stat info {};
        if (!file.empty() && stat(file.c_str(), &info) == 0 && info.st_dev == summary.st_dev &&
            info.st_ino == summary.st_ino) {
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
