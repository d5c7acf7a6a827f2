#include "dbaccess/odbc/OdbcCheck.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/odbc/OdbcMessage.h"

namespace {

void ReadRecords(SQLSMALLINT type, SQLHANDLE handle, std::vector<CDiagnosticRecord>& records) {
    if (handle == SQL_NULL_HANDLE) {
        return;
    }
    for (SQLSMALLINT number = 1;; ++number) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER nativeError = 0;
        // One call per record with a buffer large enough for any text we keep: some
        // drivers misbehave when SQLGetDiagRec is called twice for the same record to
        // learn the length first. A longer message is cut here, well past what we keep.
        SQLCHAR message[4096] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(type, handle, number, state, &nativeError, message,
                                           sizeof message, &length);
        if (!SQL_SUCCEEDED(rc) || std::strcmp(reinterpret_cast<char*>(state), "00000") == 0) {
            return;
        }
        records.push_back(CDiagnosticRecord{reinterpret_cast<char*>(state), nativeError,
                                            reinterpret_cast<char*>(message)});
    }
}

std::vector<CDiagnosticRecord> ReadAllRecords(const COdbcHandles& handles) {
    std::vector<CDiagnosticRecord> records;
    ReadRecords(SQL_HANDLE_ENV, handles.env, records);
    ReadRecords(SQL_HANDLE_DBC, handles.dbc, records);
    ReadRecords(SQL_HANDLE_STMT, handles.stmt, records);
    return records;
}

}  // namespace

SQLRETURN OdbcCheck(SQLRETURN rc, const char* call, const COdbcHandles& handles) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) {
        return rc;
    }
    std::vector<CDiagnosticRecord> records = ReadAllRecords(handles);
    if (std::any_of(records.begin(), records.end(),
                    [](const CDiagnosticRecord& record) { return record.state == "HY001"; })) {
        throw CMemoryException();
    }
    if (records.empty()) {
        throw CDBException(std::string(call) + " failed.");
    }
    std::vector<std::string> messages;
    for (const CDiagnosticRecord& record : records) {
        messages.push_back(record.message);
    }
    std::string text = ComposeDiagnosticText(messages);
    // Drivers tell a file they could not open for want of a descriptor in their own words
    // ("unable to open database file"), if at all: one more line of the text says why.
    if (AtOpenFileLimit()) {
        text += "Out of file descriptors: " + OpenFileLimitNote() + ".\n";
    }
    throw CDBException(std::move(text), std::move(records));
}
