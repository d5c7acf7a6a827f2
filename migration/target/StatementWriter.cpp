#include "migration/target/StatementWriter.h"

#include <cerrno>
#include <cstring>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

namespace {

[[noreturn]] void ThrowWriteError() {
    throw CException(TrFormat("Cannot write the statements: %1.", {std::strerror(errno)}));
}

}  // namespace

void CStatementWriter::InsertRow(const CInsertItemList& row) {
    const std::string& statement = m_statements.Build(row);
    if (std::fwrite(statement.data(), 1, statement.size(), m_out) != statement.size() ||
        std::fputc('\n', m_out) == EOF) {
        ThrowWriteError();
    }
}

void CStatementWriter::Close() noexcept {
    if (m_bOpen) {
        std::fflush(m_out);
    }
    m_bOpen = false;
}
