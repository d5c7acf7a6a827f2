#pragma once

#include <sys/types.h>

#include <string>

// The SQLite file a run writes to, as it was when the run connected. A file moved, replaced or
// deleted during the run keeps taking the rows through the connection's open descriptor, but
// the path the report names no longer holds them: the run checks before it calls itself done.
class CTargetFileIdentity {
public:
    // Takes the identity of file; an empty name (the target is no file) takes nothing.
    void Take(const std::string& file);
    // Throws CDBException when the path no longer names the file taken.
    void Verify() const;
    void Clear() noexcept { m_strFile.clear(); }
    // Whether a file was taken (Verify checks nothing otherwise).
    bool Taken() const noexcept { return !m_strFile.empty(); }

private:
    std::string m_strFile;  // empty: nothing taken
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
