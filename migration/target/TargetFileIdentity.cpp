#include "migration/target/TargetFileIdentity.h"

#include <sys/stat.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

void CTargetFileIdentity::Take(const std::string& file) {
    m_strFile.clear();
    struct stat info {};
    // The driver has the file open by now; a name that cannot be looked at is not checked.
    if (file.empty() || stat(file.c_str(), &info) != 0) {
        return;
    }
    m_strFile = file;
    m_device = info.st_dev;
    m_inode = info.st_ino;
}

void CTargetFileIdentity::Verify() const {
    if (m_strFile.empty()) {
        return;
    }
    struct stat info {};
    if (stat(m_strFile.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode) {
        return;
    }
    throw CDBException(TrFormat(
        "The target file %1 was moved or deleted during the run: the rows went into the file "
        "that was there when the run started, and %1 no longer holds them (or is another "
        "file). Find out which program moved it, put the right file back, and start again.",
        {m_strFile}));
}
