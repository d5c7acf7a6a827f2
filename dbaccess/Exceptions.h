#pragma once

#include <exception>
#include <string>

#include "dbaccess/SourceMessage.h"

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
// a damaged file. The text is fitted into 511 bytes (see FitSourceMessage).
class CDaoException : public CException {
public:
    explicit CDaoException(std::string message = {})
        : CException(FitSourceMessage(std::move(message))) {}
};

// A failure of the target connection; the text lists the driver's diagnostic records.
class CDBException : public CException {
public:
    using CException::CException;
};

// Memory ran out.
class CMemoryException : public CException {
public:
    CMemoryException() : CException("Out of memory.") {}
};

// A field value that cannot be converted to what its column asks for.
class COleException : public CException {
public:
    using CException::CException;
};

// The user abandoned an operation; never reported.
class CUserException : public CException {
public:
    using CException::CException;
};
