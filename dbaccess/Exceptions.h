#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "dbaccess/SourceFailureKind.h"
#include "dbaccess/SourceMessage.h"
#include "dbaccess/Translate.h"

// The one exception family of the program. Every failure travels as one of these,
// thrown by value and caught by reference; each carries the text the user is shown.
class CException : public std::exception {
public:
    explicit CException(std::string message = {}) : m_strMessage(std::move(message)) {}

    // The text shown to the user; may be empty.
    const std::string& GetErrorMessage() const noexcept { return m_strMessage; }
    const char* what() const noexcept override { return m_strMessage.c_str(); }

private:
    std::string m_strMessage;
};

// A failure of the source database: a file that cannot be opened, a missing table or column,
// a damaged file. It keeps its kind, and the parts its message names (the file, table,
// column, row and library detail) beside the text, which is the message in the user's
// language fitted into 511 bytes (see CDaoMessage::Localised and Fitted).
class CDaoException : public CException {
public:
    CDaoException(SourceFailureKind kind, CDaoMessage message)
        : CException(message.Localised().Fitted()), m_kind(kind), m_message(std::move(message)) {}

    SourceFailureKind Kind() const noexcept { return m_kind; }
    // The message as it was built, in English, whole, with its parts.
    const CDaoMessage& GetMessageParts() const noexcept { return m_message; }
    // The text of the first such part the message names; "" when it names none.
    std::string GetPart(SourcePart part) const { return m_message.Part(part); }

private:
    SourceFailureKind m_kind;
    CDaoMessage m_message;
};

// One diagnostic record of the ODBC driver manager or a driver: its SQLSTATE ("42S02"), the
// driver's native error code, and its message as the driver wrote it.
struct CDiagnosticRecord {
    std::string state;
    long native = 0;
    std::string message;
};

// A failure of the target connection. The text lists the driver's diagnostic records (or
// says what failed, when no record does); the records themselves are kept beside it, so that
// what is said about a failure is chosen by its SQLSTATE rather than by its wording.
class CDBException : public CException {
public:
    explicit CDBException(std::string message = {}) : CException(std::move(message)) {}
    CDBException(std::string message, std::vector<CDiagnosticRecord> records)
        : CException(std::move(message)), m_records(std::move(records)) {}

    // The records in the order the driver manager gave them: environment, connection,
    // statement. Empty when the failure is ours (no driver call failed).
    const std::vector<CDiagnosticRecord>& Records() const noexcept { return m_records; }

private:
    std::vector<CDiagnosticRecord> m_records;
};

// Memory ran out.
class CMemoryException : public CException {
public:
    CMemoryException() : CException(Tr("Out of memory.")) {}
};

// A field value that cannot be converted to what its column asks for. The text is the
// conversion's sentence, then where the value stands as far as it is known, then a full stop:
// "The Text value "x" cannot be converted to an integer (type mismatch): table 'T', column
// 'C', row 5, in the database '/data/a.mdb'."
class COleException : public CException {
public:
    // what: the conversion's sentence, without a final full stop.
    explicit COleException(std::string what) : COleException(WhatAlone(std::move(what))) {}

    // The same failure, of the value in this table and column.
    COleException InColumn(const std::string& table, const std::string& column) const {
        Parts parts = m_parts;
        parts.table = table;
        parts.column = column;
        return COleException(std::move(parts));
    }
    // The same failure, at this row (from 1, in read order) of the source file.
    COleException AtRow(std::size_t row, const std::string& file) const {
        Parts parts = m_parts;
        parts.row = row;
        parts.file = file;
        return COleException(std::move(parts));
    }

    const std::string& What() const noexcept { return m_parts.what; }
    const std::string& Table() const noexcept { return m_parts.table; }
    const std::string& Column() const noexcept { return m_parts.column; }
    std::size_t Row() const noexcept { return m_parts.row; }  // 0: not known
    const std::string& File() const noexcept { return m_parts.file; }

private:
    struct Parts {
        std::string what;
        std::string table;
        std::string column;
        std::size_t row = 0;
        std::string file;
    };

    explicit COleException(Parts parts) : CException(Compose(parts)), m_parts(std::move(parts)) {}

    static Parts WhatAlone(std::string what) {
        Parts parts;
        parts.what = std::move(what);
        return parts;
    }

    static std::string Compose(const Parts& parts) {
        if (parts.table.empty()) {
            return TrFormat("%1.", {parts.what});
        }
        if (parts.row == 0) {
            return TrFormat("%1: table '%2', column '%3'.",
                            {parts.what, parts.table, parts.column});
        }
        return TrFormat(
            "%1: table '%2', column '%3', row %4, in the database '%5'.",
            {parts.what, parts.table, parts.column, std::to_string(parts.row), parts.file});
    }

    Parts m_parts;
};

// The user abandoned an operation; never reported.
class CUserException : public CException {
public:
    using CException::CException;
};
