#include "dbaccess/DaoRecordset.h"

#include "dbaccess/DaoDatabase.h"
#include "dbaccess/Exceptions.h"

struct CDaoRecordset::Impl {};

CDaoRecordset::CDaoRecordset(CDaoDatabase& database) : m_pDatabase(&database) {}
CDaoRecordset::~CDaoRecordset() { Close(); }

void CDaoRecordset::Open(int, const std::string&, int) {
    throw CDaoException("The source reader is not built yet.");
}
bool CDaoRecordset::IsEOF() const { return true; }
CFieldValue CDaoRecordset::GetFieldValue(const std::string&) { return CFieldValue::Null(); }
void CDaoRecordset::MoveNext() {}
void CDaoRecordset::Close() noexcept { m_impl.reset(); }
bool CDaoRecordset::IsOpen() const noexcept { return m_impl != nullptr; }
