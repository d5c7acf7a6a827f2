#include "dbaccess/MdbDatabase.h"

#include <iconv.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/MdbQuiet.h"
#include "dbaccess/MdbZeroedHeap.h"

namespace {

// libmdb turns object names into the charset named by $MDBICONV (UTF-8 by default), from
// UCS-2 for Jet 4 and, for Jet 3, from the code page chosen by $MDB_JET3_CHARSET or the
// header ("SHIFT-JIS" for 932, which rejects the NEC and IBM extensions). Table and column
// names must be UTF-8 here whatever the environment says, and Access 97 files are read as
// CP932, so the converters are replaced before the catalogue is read.
void UseOurNameCharsets(MdbHandle* handle, JetVersion version) {
    mdb_iconv_close(handle);
    handle->iconv_in = iconv_open("UTF-8", version == JetVersion::Jet3 ? "CP932" : "UCS-2LE");
    handle->iconv_out = iconv_open(version == JetVersion::Jet3 ? "CP932" : "UCS-2LE", "UTF-8");
}

}  // namespace

MdbDatabase::MdbDatabase(const std::string& path) : m_path(path) {
    MdbZeroedHeap zeroedHeap;
    MdbQuiet quiet;
    m_handle = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!m_handle) {
        throw CDaoException(WithLibmdbText(
            "The database '" + path + "' is damaged: libmdb cannot open it.", quiet.End()));
    }
    switch (m_handle->f->jet_version) {
        case MDB_VER_JET3:
            m_version = JetVersion::Jet3;
            break;
        case MDB_VER_JET4:
            m_version = JetVersion::Jet4;
            break;
        default:
            mdb_close(m_handle);
            m_handle = nullptr;
            throw CDaoException("The database '" + path +
                                "' is not in the Access 97 or Access 2000-2003 format.");
    }
    UseOurNameCharsets(m_handle, m_version);
    GPtrArray* catalog = mdb_read_catalog(m_handle, MDB_TABLE);
    const std::string said = quiet.End();
    if (!catalog || catalog->len == 0) {
        mdb_close(m_handle);
        m_handle = nullptr;
        throw CDaoException(WithLibmdbText(
            "The database '" + path + "' is damaged: its table catalogue cannot be read.", said));
    }
}

MdbDatabase::~MdbDatabase() {
    if (m_handle) {
        MdbQuiet quiet;
        mdb_close(m_handle);
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
