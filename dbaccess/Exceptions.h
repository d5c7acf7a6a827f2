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
// a damaged file. It keeps the parts its message names (the file, table, column, row and
// library detail) beside the text, which is fitted into 511 bytes (see CDaoMessage::Fitted).
class CDaoException : public CException {
public:
    explicit CDaoException(CDaoMessage message = {})
        : CException(message.Fitted()), m_message(std::move(message)) {}

    // The message as it was built, whole, with its parts.
    const CDaoMessage& GetMessageParts() const noexcept { return m_message; }
    // The text of the first such part the message names; "" when it names none.
    std::string GetPart(SourcePart part) const { return m_message.Part(part); }

private:
    CDaoMessage m_message;
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
