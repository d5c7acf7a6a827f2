#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbaccess/access/jet/CodePageText.h"
#include "dbaccess/access/jet/JetValue.h"
#include "dbaccess/access/libmdb/MdbApi.h"

// Lets another thread watch which page libmdb is reading (the check's progress): told of the
// page number libmdb keeps as soon as the file is open, and again before it goes away.
class MdbPageWatch {
public:
    virtual ~MdbPageWatch() = default;
    virtual void Watch(const uint32_t* currentPage) noexcept = 0;
    virtual void Unwatch() noexcept = 0;
};

class CDaoMessage;
class CEncryptedDatabaseError;

// The message for a file encrypted in a way this program cannot decrypt, naming the way.
CDaoMessage EncryptedDatabaseMessage(const std::string& path, const CEncryptedDatabaseError& why);
// The message for an encrypted file whose description of its encryption cannot be read.
CDaoMessage DamagedEncryptionMessage(const std::string& path, const std::string& why);

// An Access file (.mdb, or .accdb of Access 2007 to 2019) opened read-only through libmdb,
// with its table catalogue read. libmdb's own output during opening is kept off the terminal
// and put into the exception text.
class MdbDatabase {
public:
    // Opens path and reads its catalogue. Given fd, an open descriptor of the file, libmdb
    // reads that file, whatever path names by now, and path only names it in messages.
    // An .accdb encrypted with a database password is decrypted page by page as libmdb reads
    // it, with password (UTF-8).
    // Throws CDaoException naming the file when it has no Access header (not a database), when
    // its header says it is encrypted in a way this
    // program cannot decrypt (EncryptedDatabaseMessage: libmdb would read its pages as
    // garbage), when password is not the one it is encrypted with (wrong password), when
    // libmdb cannot open it or cannot read the catalogue.
    explicit MdbDatabase(const std::string& path, MdbPageWatch* watch = nullptr, int fd = -1,
                         const std::string& password = {});
    ~MdbDatabase();
    MdbDatabase(const MdbDatabase&) = delete;
    MdbDatabase& operator=(const MdbDatabase&) = delete;

    const std::string& Path() const noexcept { return m_path; }
    JetVersion Version() const noexcept { return m_version; }
    MdbHandle* Handle() const noexcept { return m_handle; }
    // The decoder of Access 97 text, in the code page the file's header names.
    const CCodePageText& Jet3Text() const noexcept { return *m_jet3Text; }
    // The catalogue entry of the named table (ASCII case-insensitive), or null.
    MdbCatalogEntry* FindTable(const std::string& name) const;
    // The names of the tables in the catalogue, in catalogue order.
    std::vector<std::string> TableNames(bool includeSystemTables) const;
    // What libmdb printed while the catalogue was read, one line, short; "" when nothing.
    const std::string& OpeningOutput() const noexcept { return m_openingOutput; }

private:
    void Close() noexcept;

    std::string m_path;
    MdbHandle* m_handle = nullptr;
    JetVersion m_version = JetVersion::Jet4;
    std::unique_ptr<CCodePageText> m_jet3Text;
    std::string m_openingOutput;
    MdbPageWatch* m_watch = nullptr;
};
