#include "migration/target/EmbeddedTargetFile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"

namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& why) {
    throw CDBException(TrFormat("The target file %1 cannot be created: %2", {path.string(), why}));
}

std::string ReadSchema(const std::filesystem::path& path, const std::filesystem::path& schema) {
    std::ifstream in(schema, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in || text.str().empty()) {
        Fail(path, "the table definitions " + schema.string() + " cannot be read.");
    }
    return text.str();
}

// Makes the folder and its missing parents, each new one readable by its owner only: the
// target holds the user's data.
void MakeFolders(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec)) {
        return;
    }
    MakeFolders(path, folder.parent_path());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        Fail(path,
             "the folder " + folder.string() + " cannot be made (" + std::strerror(errno) + ").");
    }
}

// Removes the temporary file and what SQLite may have left beside it, then closes fd (which
// holds its lock until then) when open; never throws.
struct CTemporaryFile {
    std::string path;
    int fd = -1;
    ~CTemporaryFile() {
        if (!path.empty()) {
            unlink(path.c_str());
            unlink((path + "-wal").c_str());
            unlink((path + "-shm").c_str());
            unlink((path + "-journal").c_str());
        }
        if (fd >= 0) {
            close(fd);
        }
    }
};

void WriteTables(const std::filesystem::path& path, const std::string& file,
                 const std::string& schema) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    char* error = nullptr;
    if (rc == SQLITE_OK) {
        // The tables in one transaction, then WAL, which stays set in the file: one commit
        // per row is about 25 times faster with it.
        rc = sqlite3_exec(db, ("begin;\n" + schema + "\ncommit;\npragma journal_mode=wal;").c_str(),
                          nullptr, nullptr, &error);
    }
    std::string message = error ? error : db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_free(error);
    // SQLite says only that it cannot open a file when the process is out of descriptors.
    if (const int shortage = rc != SQLITE_OK ? DescriptorShortage() : 0; shortage != 0) {
        message += " (" + SystemErrorText(shortage) + ")";
    }
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) {
        rc = SQLITE_ERROR;
    }
    if (rc != SQLITE_OK) {
        Fail(path, message + ".");
    }
}

// Removes what a creation killed before its rename left in the folder: regular files of this
// user named like the temporary ("Pomvale01.new-XXXXXX", and SQLite's files beside it) that no
// creation holds locked. Never throws: a leftover that stays harms nothing.
void RemoveLeftovers(const std::filesystem::path& path) {
    const std::string prefix = path.filename().string() + ".new-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        CTemporaryFile candidate{
            {}, open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
        struct stat info {};
        if (candidate.fd >= 0 && fstat(candidate.fd, &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == getuid() && flock(candidate.fd, LOCK_EX | LOCK_NB) == 0) {
            candidate.path = entry.path().string();
        }
    }
}

// Refuses what is at path when it is there but is not a file to open: a link, wherever it
// points (even nowhere), or a folder.
void RefuseNonFile(const std::filesystem::path& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (S_ISLNK(info.st_mode)) {
        throw CDBException(
            TrFormat("The target file %1 is a symbolic link; the per-user target must be a file "
                     "of its own. Remove the link, or set XDG_DATA_HOME to another folder.",
                     {path.string()}));
    }
    if (S_ISDIR(info.st_mode)) {
        throw CDBException(
            TrFormat("The target file %1 is a folder, not a file. Remove or rename the folder, "
                     "or set XDG_DATA_HOME to another folder.",
                     {path.string()}));
    }
}

}  // namespace

void EnsureEmbeddedTargetFile(const std::filesystem::path& path,
                              const std::filesystem::path& schemaFile) {
    RefuseNonFile(path);
    RemoveLeftovers(path);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        return;
    }
    const std::string schema = ReadSchema(path, schemaFile);
    MakeFolders(path, path.parent_path());

    CTemporaryFile temporary{path.string() + ".new-XXXXXX"};
    temporary.fd = mkstemp(temporary.path.data());
    if (temporary.fd < 0) {
        const int error = errno;
        temporary.path.clear();
        Fail(path, SystemErrorText(error) + ".");
    }
    // Held locked until the rename, so that another run's start leaves it alone; SQLite's own
    // locks are of another kind and do not meet this one.
    flock(temporary.fd, LOCK_EX);
    WriteTables(path, temporary.path, schema);
    // Renaming never replaces: a file another run created meanwhile is kept as it is. Where
    // the file system cannot rename that way, a hard link does the same.
    int rc = renameat2(AT_FDCWD, temporary.path.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && errno == EINVAL) {
        rc = link(temporary.path.c_str(), path.c_str());
    }
    if (rc != 0 && errno != EEXIST) {
        Fail(path, std::string(std::strerror(errno)) + ".");
    }
}
