#include "dbaccess/DaoDatabase.h"

#include "dbaccess/DaoRecordset.h"
#include "dbaccess/Exceptions.h"

struct CDaoDatabase::Impl {};

CDaoDatabase::CDaoDatabase() = default;
CDaoDatabase::~CDaoDatabase() { Close(); }

void CDaoDatabase::Open(const std::string& path, bool, bool, const std::string&) {
    throw CDaoException("The source reader is not built yet: " + path);
}
void CDaoDatabase::Close() noexcept { m_impl.reset(); }
bool CDaoDatabase::IsOpen() const noexcept { return m_impl != nullptr; }
void CDaoDatabase::Attach(CDaoRecordset*) {}
void CDaoDatabase::Detach(CDaoRecordset*) noexcept {}
