#pragma once

#include <string>
#include <vector>

#include "dbaccess/JetValue.h"
#include "dbaccess/MdbApi.h"

// An .mdb file opened read-only through libmdb, with its table catalogue read. libmdb's own
// output during opening is kept off the terminal and put into the exception text.
class MdbDatabase {
public:
    // Opens path and reads its catalogue. Throws CDaoException naming the file when libmdb
    // cannot open it or cannot read the catalogue.
    explicit MdbDatabase(const std::string& path);
    ~MdbDatabase();
    MdbDatabase(const MdbDatabase&) = delete;
    MdbDatabase& operator=(const MdbDatabase&) = delete;

    const std::string& Path() const noexcept { return m_path; }
    JetVersion Version() const noexcept { return m_version; }
    MdbHandle* Handle() const noexcept { return m_handle; }
    // The catalogue entry of the named table (ASCII case-insensitive), or null.
    MdbCatalogEntry* FindTable(const std::string& name) const;
    // The names of the tables in the catalogue, in catalogue order.
    std::vector<std::string> TableNames(bool includeSystemTables) const;

private:
    std::string m_path;
    MdbHandle* m_handle = nullptr;
    JetVersion m_version = JetVersion::Jet4;
};
