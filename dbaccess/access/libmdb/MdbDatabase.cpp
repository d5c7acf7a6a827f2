#include "dbaccess/access/libmdb/MdbDatabase.h"

#include <iconv.h>

#include <cerrno>
#include <fstream>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/jet/PageEncryption.h"
#include "dbaccess/access/libmdb/MdbPageStream.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"
#include "dbaccess/access/libmdb/MdbZeroedHeap.h"

namespace {

// libmdb turns object names into the charset named by $MDBICONV (UTF-8 by default), from
// UCS-2 for Jet 4 and, for Jet 3, from the code page chosen by $MDB_JET3_CHARSET or the
// header ("SHIFT-JIS" for 932, which rejects the NEC and IBM extensions). Table and column
// names must be UTF-8 here whatever the environment says, and Access 97 names are in the
// code page the text is read in, so the converters are replaced before the catalogue is read.
// Throws when a converter cannot be had.
void UseOurNameCharsets(MdbHandle* handle, JetVersion version, const CCodePageText& jet3Text) {
    const std::string charset = version == JetVersion::Jet3 ? jet3Text.IconvName() : "UCS-2LE";
    mdb_iconv_close(handle);
    handle->iconv_in = iconv_open("UTF-8", charset.c_str());
    int error = errno;
    handle->iconv_out = iconv_open(charset.c_str(), "UTF-8");
    error = handle->iconv_out == reinterpret_cast<iconv_t>(-1) ? errno : error;
    if (handle->iconv_in == reinterpret_cast<iconv_t>(-1) ||
        handle->iconv_out == reinterpret_cast<iconv_t>(-1)) {
        ThrowNoTextConverter(charset, error);
    }
}

// Reads the header before libmdb does: refuses a file without an Access header and one
// encrypted in a way this program cannot decrypt, and returns the decryption of an
// encrypted one, or null for a plain file.
// name is what is read, path what the messages name.
std::unique_ptr<CPageDecryptor> ReadHeader(const std::string& name, const std::string& path,
                                           const std::string& password) {
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> first(kJetFirstPageSize);
    in.read(reinterpret_cast<char*>(first.data()), static_cast<std::streamsize>(first.size()));
    first.resize(static_cast<size_t>(in.gcount()));
    try {
        const CJetHeader header = ParseJetHeader(first);
        if (!header.encrypted) {
            return nullptr;
        }
        try {
            return std::make_unique<CPageDecryptor>(header.encryptionInfo, header.encodingKey,
                                                    password);
        } catch (const CWrongPasswordError&) {
            throw;
        } catch (const CEncryptedDatabaseError&) {
            throw;
        } catch (const CJetFormatError& e) {
            throw CDamagedEncryptionError(e.what());
        }
    } catch (const CDamagedEncryptionError& e) {
        throw CDaoException(SourceFailureKind::Damaged, DamagedEncryptionMessage(path, e.what()));
    } catch (const CEncryptedDatabaseError& e) {
        throw CDaoException(SourceFailureKind::Encrypted, EncryptedDatabaseMessage(path, e));
    } catch (const CWrongPasswordError&) {
        throw CDaoException(
            SourceFailureKind::WrongPassword,
            CDaoMessage::Format(TrNoop("Not a valid password for the database '%1'."),
                                {SourceFile(path)}));
    } catch (const CJetFormatError& e) {
        // The words the program uses for the same file, which refuses it before the check.
        throw CDaoException(SourceFailureKind::NotADatabase,
                            CDaoMessage::Format(TrNoop("'%1' is not an Access database file: %2."),
                                                {SourceFile(path), SourceReason(e.what())}));
    }
}

}  // namespace

CDaoMessage EncryptedDatabaseMessage(const std::string& path, const CEncryptedDatabaseError& why) {
    return CDaoMessage::Format(
        TrNoop("The database '%1' cannot be opened: it is an Access 2007 or later database "
               "(.accdb) protected by a database password with %2, which this program cannot "
               "decrypt; remove the password in Access (File > Info > Decrypt Database) or save "
               "it as an Access 2002-2003 database (.mdb)."),
        {SourceFile(path), SourceReason(why.what())});
}

CDaoMessage DamagedEncryptionMessage(const std::string& path, const std::string& why) {
    return CDaoMessage::Format(TrNoop("The database '%1' is damaged: it is encrypted, and %2."),
                               {SourceFile(path), SourceReason(why)});
}

MdbDatabase::MdbDatabase(const std::string& path, MdbPageWatch* watch, int fd,
                         const std::string& password)
    : m_path(path), m_watch(watch) {
    // libmdb opens by name. The descriptor's entry in /proc opens the very file it holds, not
    // whatever now has the file's name.
    const std::string name = fd >= 0 ? "/proc/self/fd/" + std::to_string(fd) : path;
    std::unique_ptr<CPageDecryptor> decryptor = ReadHeader(name, path, password);
    MdbZeroedHeap zeroedHeap;
    MdbQuiet quiet;
    m_handle = mdb_open(name.c_str(), MDB_NOFLAGS);
    if (!m_handle) {
        if (AtOpenFileLimit()) {
            throw CDaoException(
                SourceFailureKind::CannotOpen,
                CDaoMessage::Format(TrNoop("The database '%1' cannot be opened: %2."),
                                    {SourceFile(path), SourceReason(SystemErrorText(EMFILE))}));
        }
        CDaoMessage message = CDaoMessage::Format(
            TrNoop("The database '%1' is damaged: libmdb cannot open it."), {SourceFile(path)});
        message.AddLibraryDetail(quiet.End());
        throw CDaoException(SourceFailureKind::Damaged, message);
    }
    if (decryptor) {
        // libmdb applies Jet's own RC4 page encoding whenever the header's key is not zero;
        // here the key says AES, and the stream below hands libmdb pages already decrypted.
        m_handle->f->db_key = 0;
        // Nothing read before is taken as read: page 0, the only page libmdb has read, is
        // never encrypted and never answered from the buffer.
        m_handle->cur_pg = 0;
        if (!UsePositionedReads(m_handle, std::move(decryptor))) {
            Close();
            throw CDaoException(
                SourceFailureKind::CannotRead,
                CDaoMessage::Format(TrNoop("Cannot read the database file '%1': %2."),
                                    {SourceFile(path), SourceReason(SystemErrorText(ENOMEM))}));
        }
    } else {
        UsePositionedReads(m_handle);
    }
    if (m_watch) {
        m_watch->Watch(&m_handle->cur_pg);
    }
    switch (m_handle->f->jet_version) {
        case MDB_VER_JET3:
            m_version = JetVersion::Jet3;
            break;
        // Access 2007 and later keep their data pages and rows in the Access 2000 layout.
        case MDB_VER_JET4:
        case MDB_VER_ACCDB_2007:
        case MDB_VER_ACCDB_2010:
        case MDB_VER_ACCDB_2013:
        case MDB_VER_ACCDB_2016:
        case MDB_VER_ACCDB_2019:
            m_version = JetVersion::Jet4;
            break;
        default:
            Close();
            throw CDaoException(
                SourceFailureKind::UnsupportedFormat,
                CDaoMessage::Format(
                    TrNoop("The database '%1' is not in the Access 97, Access 2000-2003 or Access "
                           "2007-2019 format."),
                    {SourceFile(path)}));
    }
    // libmdb reads the code page from the unmasked header (offset 0x3C); Access 2000 files
    // keep their text in UTF-16 and do not need it.
    try {
        m_jet3Text = std::make_unique<CCodePageText>(
            m_version == JetVersion::Jet3 ? m_handle->f->code_page : 932);
        UseOurNameCharsets(m_handle, m_version, *m_jet3Text);
    } catch (...) {
        Close();
        throw;
    }
    GPtrArray* catalog = mdb_read_catalog(m_handle, MDB_TABLE);
    const std::string said = quiet.End();
    m_openingOutput = said;
    if (!catalog || catalog->len == 0) {
        Close();
        CDaoMessage message = CDaoMessage::Format(
            TrNoop("The database '%1' is damaged: its table catalogue cannot be read."),
            {SourceFile(path)});
        message.AddLibraryDetail(said);
        throw CDaoException(SourceFailureKind::Damaged, message);
    }
}

MdbDatabase::~MdbDatabase() {
    Close();
}

void MdbDatabase::Close() noexcept {
    if (m_watch) {
        m_watch->Unwatch();
    }
    if (m_handle) {
        MdbQuiet quiet(std::nothrow);
        mdb_close(m_handle);
        m_handle = nullptr;
    }
}

MdbCatalogEntry* MdbDatabase::FindTable(const std::string& name) const {
    for (guint i = 0; i < m_handle->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_handle->catalog, i));
        if (entry->object_type == MDB_TABLE &&
            g_ascii_strcasecmp(entry->object_name, name.c_str()) == 0) {
            return entry;
        }
    }
    return nullptr;
}

std::vector<std::string> MdbDatabase::TableNames(bool includeSystemTables) const {
    std::vector<std::string> names;
    for (guint i = 0; i < m_handle->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_handle->catalog, i));
        if (entry->object_type == MDB_TABLE &&
            (includeSystemTables || !mdb_is_system_table(entry))) {
            names.emplace_back(entry->object_name);
        }
    }
    return names;
}
