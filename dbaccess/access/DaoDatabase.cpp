#include "dbaccess/access/DaoDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/FileCheckProcess.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/libmdb/MdbDatabase.h"

struct CDaoDatabase::Impl {
    std::unique_ptr<MdbDatabase> file;
    std::vector<CDaoDatabase::IDependent*> dependents;
};

namespace {

// The password of a DAO connect string such as ";PWD=wuzo": the text after "PWD=" (any
// letter case) up to the next ";". Other parts are ignored; no PWD part means no password.
std::string PasswordFromConnect(const std::string& connect) {
    size_t at = 0;
    while (at <= connect.size()) {
        const size_t end = std::min(connect.find(';', at), connect.size());
        const std::string part = connect.substr(at, end - at);
        if (part.size() >= 4 && strncasecmp(part.c_str(), "PWD=", 4) == 0) {
            return part.substr(4);
        }
        at = end + 1;
    }
    return {};
}

// The first bytes of the file, after the checks that give a precise message: a missing file,
// a folder, a file that cannot be read.
std::vector<uint8_t> ReadFirstBytes(const std::string& path, struct stat& info) {
    if (path.empty()) {
        throw CDaoException("No database file was given.");
    }
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw CDaoException(CDaoMessage() << "Could not find the database file '"
                                              << SourceFile(path) << "'.");
        }
        throw CDaoException(CDaoMessage() << "Cannot open the database file '" << SourceFile(path)
                                          << "': " << std::strerror(errno) << ".");
    }
    if (S_ISDIR(info.st_mode)) {
        throw CDaoException(CDaoMessage() << "'" << SourceFile(path)
                                          << "' is a folder, not an Access database file.");
    }
    if (!S_ISREG(info.st_mode)) {
        throw CDaoException(CDaoMessage()
                            << "'" << SourceFile(path)
                            << "' is not a regular file, so not an Access database file.");
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw CDaoException(CDaoMessage() << "Cannot open the database file '" << SourceFile(path)
                                          << "': " << std::strerror(errno) << ".");
    }
    std::vector<uint8_t> bytes(kJetHeaderSize);
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw CDaoException(CDaoMessage()
                                << "Cannot read the database file '" << SourceFile(path)
                                << "': " << std::strerror(error) << ".");
        }
        if (n == 0) {
            break;
        }
        have += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(have);
    return bytes;
}

}  // namespace

CDaoDatabase::CDaoDatabase() = default;
CDaoDatabase::~CDaoDatabase() {
    Close();
}

void CDaoDatabase::Open(const std::string& path, bool exclusive, bool readOnly,
                        const std::string& connect) {
    if (IsOpen()) {
        return;
    }
    if (exclusive || !readOnly) {
        throw CDaoException(
            CDaoMessage()
            << "The database '" << SourceFile(path)
            << "' can only be opened read-only and shared: the source is never written.");
    }
    struct stat info {};
    const std::vector<uint8_t> first = ReadFirstBytes(path, info);
    CJetHeader header;
    try {
        header = ParseJetHeader(first);
    } catch (const CEncryptedDatabaseError& e) {
        throw CDaoException(EncryptedDatabaseMessage(path, e));
    } catch (const CJetFormatError& e) {
        throw CDaoException(CDaoMessage()
                            << "'" << SourceFile(path)
                            << "' is not an Access database file: " << e.what() << ".");
    }
    if (!header.password.empty() && PasswordFromConnect(connect) != header.password) {
        throw CDaoException(CDaoMessage() << "Not a valid password for the database '"
                                          << SourceFile(path) << "'.");
    }
    VetSourceFile(path, kVetStallLimit, m_waitCallback);

    auto impl = std::make_unique<Impl>();
    impl->file = std::make_unique<MdbDatabase>(path);
    m_impl = std::move(impl);
    m_strPath = path;
}

void CDaoDatabase::Close() noexcept {
    if (!m_impl) {
        return;
    }
    // Closing a recordset detaches it, which changes the list: work on a copy.
    const std::vector<IDependent*> open = m_impl->dependents;
    for (IDependent* dependent : open) {
        dependent->Close();
    }
    m_impl.reset();
}

bool CDaoDatabase::IsOpen() const noexcept {
    return m_impl != nullptr;
}

void CDaoDatabase::Attach(IDependent* dependent) {
    m_impl->dependents.push_back(dependent);
}

void CDaoDatabase::Detach(IDependent* dependent) noexcept {
    if (m_impl) {
        std::erase(m_impl->dependents, dependent);
    }
}

MdbDatabase* CDaoDatabase::File() const noexcept {
    return m_impl ? m_impl->file.get() : nullptr;
}
