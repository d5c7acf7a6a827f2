#pragma once

#include <cstdio>

#include "migration/EngineInterfaces.h"
#include "migration/statement/StatementBuilder.h"

// A target that connects to nothing and writes the statement of every row to a stream, one
// per line (LF). A value holding a line break is written as it is: the line is the
// statement's text.
class CStatementWriter final : public ITargetDatabase {
public:
    explicit CStatementWriter(std::FILE* out) : m_out(out) {}

    bool IsOpen() const noexcept override { return m_bOpen; }
    void Open(const std::string&) override { m_bOpen = true; }
    // Throws CException when the stream cannot be written (a full disk, a closed pipe).
    void InsertRow(const CInsertItemList& row) override;
    void EndTable() override { m_statements.Reset(); }
    void Close() noexcept override;

private:
    std::FILE* m_out;
    bool m_bOpen = false;
    CStatementBuilder m_statements;
};
