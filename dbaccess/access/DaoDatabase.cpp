#include "dbaccess/access/DaoDatabase.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/FileCheckProcess.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/libmdb/MdbDatabase.h"

namespace {

// An open descriptor, closed with this.
class CFileDescriptor {
public:
    CFileDescriptor() = default;
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int Get() const noexcept { return m_fd; }

private:
    int m_fd = -1;
};

// What tells a file written in place from the file as it was: its size and its modification
// time to the nanosecond.
struct CFileState {
    off_t size = 0;
    timespec modified{};

    static CFileState Of(const struct stat& info) { return {info.st_size, info.st_mtim}; }
    bool operator==(const CFileState& other) const {
        return size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

}  // namespace

struct CDaoDatabase::Impl {
    CFileDescriptor fd;
    CFileState state;
    std::vector<std::string> tables;  // what the check walked; empty: every table
    std::unique_ptr<MdbDatabase> file;
    std::vector<CDaoDatabase::IDependent*> dependents;
};

namespace {

CDaoMessage CannotOpen(const std::string& path, int error) {
    return CDaoMessage::Format(TrNoop("Cannot open the database file '%1': %2."),
                               {SourceFile(path), SourceReason(std::strerror(error))});
}

// Refuses what is not a regular file, with a precise message.
void ThrowIfNotARegularFile(const std::string& path, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        throw CDaoException(
            SourceFailureKind::NotAFile,
            CDaoMessage::Format(TrNoop("'%1' is a folder, not an Access database file."),
                                {SourceFile(path)}));
    }
    if (!S_ISREG(info.st_mode)) {
        throw CDaoException(
            SourceFailureKind::NotAFile,
            CDaoMessage::Format(
                TrNoop("'%1' is not a regular file, so not an Access database file."),
                {SourceFile(path)}));
    }
}

// Opens the file once, for the check and the read alike, after the checks that give a precise
// message: a missing file, a folder, a file that cannot be read. info is what the open file
// is like now.
CFileDescriptor OpenSourceFile(const std::string& path, struct stat& info) {
    if (path.empty()) {
        throw CDaoException(SourceFailureKind::FileMissing, TrNoop("No database file was given."));
    }
    // By name first: opening a named pipe would wait for a writer.
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw CDaoException(
                SourceFailureKind::FileMissing,
                CDaoMessage::Format(TrNoop("Could not find the database file '%1'."),
                                    {SourceFile(path)}));
        }
        throw CDaoException(SourceFailureKind::CannotOpen, CannotOpen(path, errno));
    }
    ThrowIfNotARegularFile(path, info);
    CFileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        throw CDaoException(SourceFailureKind::CannotOpen, CannotOpen(path, errno));
    }
    if (fstat(fd.Get(), &info) != 0) {
        throw CDaoException(SourceFailureKind::CannotOpen, CannotOpen(path, errno));
    }
    ThrowIfNotARegularFile(path, info);
    return fd;
}

// The first bytes of the open file.
std::vector<uint8_t> ReadFirstBytes(const std::string& path, int fd) {
    std::vector<uint8_t> bytes(kJetFirstPageSize);
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n =
            pread(fd, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw CDaoException(
                SourceFailureKind::CannotRead,
                CDaoMessage::Format(TrNoop("Cannot read the database file '%1': %2."),
                                    {SourceFile(path), SourceReason(std::strerror(errno))}));
        }
        if (n == 0) {
            break;
        }
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

// Throws when the open file is no longer as it was.
// english: the message, with %1 for the file.
void ThrowIfChanged(const std::string& path, int fd, const CFileState& before,
                    const char* english) {
    struct stat info {};
    if (fstat(fd, &info) == 0 && CFileState::Of(info) == before) {
        return;
    }
    throw CDaoException(SourceFailureKind::ChangedWhileRead,
                        CDaoMessage::Format(english, {SourceFile(path)}));
}

constexpr const char* kChangedWhileChecked = TrNoop(
    "The database '%1' changed while it was being checked: it is probably still being "
    "copied or synchronised. Repeat the run once the copy is complete.");
constexpr const char* kChangedWhileRead = TrNoop(
    "The database '%1' changed while it was being read: it is probably still being "
    "copied or synchronised. Repeat the run once the copy is complete.");

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
            SourceFailureKind::Misuse,
            CDaoMessage::Format(
                TrNoop("The database '%1' can only be opened read-only and shared: the source is "
                       "never written."),
                {SourceFile(path)}));
    }
    struct stat info {};
    CFileDescriptor fd = OpenSourceFile(path, info);
    const CFileState before = CFileState::Of(info);
    const std::vector<uint8_t> first = ReadFirstBytes(path, fd.Get());
    CJetHeader header;
    try {
        header = ParseJetHeader(first);
    } catch (const CEncryptedDatabaseError& e) {
        throw CDaoException(SourceFailureKind::Encrypted, EncryptedDatabaseMessage(path, e));
    } catch (const CDamagedEncryptionError& e) {
        throw CDaoException(SourceFailureKind::Damaged, DamagedEncryptionMessage(path, e.what()));
    } catch (const CJetFormatError& e) {
        throw CDaoException(SourceFailureKind::NotADatabase,
                            CDaoMessage::Format(TrNoop("'%1' is not an Access database file: %2."),
                                                {SourceFile(path), SourceReason(e.what())}));
    }
    if (!header.password.empty() && PasswordFromConnect(connect) != header.password) {
        throw CDaoException(
            SourceFailureKind::WrongPassword,
            CDaoMessage::Format(TrNoop("Not a valid password for the database '%1'."),
                                {SourceFile(path)}));
    }
    // The check reads this open file, and so does libmdb here: a file put in the name's place
    // meanwhile (a sync client, a copy in progress) is not read. One written in place shows
    // in its size or time.
    // A failure is first asked whether the file was written meanwhile: it then looks damaged.
    try {
        VetSourceFile(VetScope{path, fd.Get(), m_tablesToRead, connect}, kVetStallLimit,
                      m_waitCallback);
    } catch (const CDaoException&) {
        ThrowIfChanged(path, fd.Get(), before, kChangedWhileChecked);
        throw;
    }
    ThrowIfChanged(path, fd.Get(), before, kChangedWhileChecked);

    auto impl = std::make_unique<Impl>();
    try {
        impl->file =
            std::make_unique<MdbDatabase>(path, nullptr, fd.Get(), PasswordFromConnect(connect));
    } catch (const CDaoException&) {
        ThrowIfChanged(path, fd.Get(), before, kChangedWhileRead);
        throw;
    }
    ThrowIfChanged(path, fd.Get(), before, kChangedWhileRead);
    impl->fd = std::move(fd);
    impl->state = before;
    impl->tables = m_tablesToRead;
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

bool CDaoDatabase::WasChecked(const std::string& table) const {
    if (!m_impl || m_impl->tables.empty()) {
        return true;
    }
    for (const std::string& name : m_impl->tables) {
        if (name.size() == table.size() &&
            strncasecmp(name.c_str(), table.c_str(), name.size()) == 0) {
            return true;
        }
    }
    // Not in the file at all: the recordset says so.
    return !m_impl->file->FindTable(table);
}

void CDaoDatabase::ThrowIfFileChanged() const {
    if (m_impl) {
        ThrowIfChanged(m_strPath, m_impl->fd.Get(), m_impl->state, kChangedWhileRead);
    }
}
