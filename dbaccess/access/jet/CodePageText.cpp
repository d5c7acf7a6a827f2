#include "dbaccess/access/jet/CodePageText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetText.h"

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

bool IsMultiByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
           codePage == 1361;
}

std::string NameOf(int codePage) {
    return "CP" + std::to_string(codePage);
}

bool IsAscii(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) {
        if (b >= 0x80) {
            return false;
        }
    }
    return true;
}

// The character one byte stands for in a single-byte code page, or U+00xx when the code page
// leaves the byte undefined (Windows maps those to the C1 control of the same number).
char32_t DecodeOneByte(iconv_t cd, uint8_t byte) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(byte);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        outLeft != sizeof out - 4) {
        return byte;
    }
    char32_t c = 0;
    std::memcpy(&c, out, 4);  // UTF-32LE, one character
    return c;
}

// Whether name is among the converters whose load failed for want of descriptors or memory
// (when glibc could not read its list of converters then, it does not read it again in this
// process, and says they are missing from then on); with bAdd, makes it one.
bool Unloadable(const std::string& name, bool bAdd) {
    static std::mutex lock;
    static std::set<std::string> names;
    const std::lock_guard<std::mutex> hold(lock);
    if (bAdd) {
        names.insert(name);
    }
    return names.count(name) != 0;
}

// A converter this system lacks is replaced by CP932; one it could not load, now or before,
// is not.
void ThrowIfShortOfDescriptors(const std::string& name, int error) {
    if (error == EMFILE || error == ENFILE || error == ENOMEM || DescriptorShortage() != 0 ||
        Unloadable(name, false)) {
        ThrowNoTextConverter(name, error);
    }
}

}  // namespace

// Why iconv_open(…, name) failed with error. glibc says "no such converter" (EINVAL) also when
// the converter's module, or its list of converters, could not be read for want of a
// descriptor, and after the list, for the rest of the process: a process short of descriptors
// now is taken to be why, and a converter that failed so once is named so again.
void ThrowNoTextConverter(const std::string& name, int error) {
    const int shortage = error == EMFILE || error == ENFILE ? error : DescriptorShortage();
    if (shortage != 0 || error == ENOMEM) {
        Unloadable(name, true);
    }
    if (shortage != 0) {
        throw CDaoException(
            SourceFailureKind::CannotOpen,
            CDaoMessage::Format(
                TrNoop("Cannot read Access 97 text: there are too many open files to load the "
                       "text converter %1 (%2). Raise the limit of open files (ulimit -n) or "
                       "close other programs, then start again."),
                {SourceReason(name), SourceReason(SystemErrorText(shortage))}));
    }
    if (error == ENOMEM) {
        throw CDaoException(
            SourceFailureKind::CannotOpen,
            CDaoMessage::Format(
                TrNoop("Cannot read Access 97 text: out of memory to load the text converter "
                       "%1. Close other programs, then start again."),
                {SourceReason(name)}));
    }
    if (Unloadable(name, false)) {
        throw CDaoException(
            SourceFailureKind::CannotOpen,
            CDaoMessage::Format(
                TrNoop("Cannot read Access 97 text: the text converter %1 could not be loaded "
                       "earlier, when there were too many open files or too little memory, and "
                       "the system does not try again. Restart the program."),
                {SourceReason(name)}));
    }
    throw CDaoException(
        SourceFailureKind::NoTextConverter,
        "Cannot read Access 97 text: this system's iconv has no " + name + " converter.");
}

CCodePageText::CCodePageText(int codePage) {
    if (codePage != 0 && !IsMultiByte(codePage)) {
        const iconv_t cd = iconv_open("UTF-32LE", NameOf(codePage).c_str());
        if (cd != kNoIconv) {
            for (int b = 0; b < 256; ++b) {
                std::string utf8;
                AppendUtf8(utf8, b < 0x80 ? static_cast<char32_t>(b)
                                          : DecodeOneByte(cd, static_cast<uint8_t>(b)));
                m_table[b][0] = static_cast<char>(utf8.size());
                std::memcpy(&m_table[b][1], utf8.data(), std::min<size_t>(utf8.size(), 3));
            }
            iconv_close(cd);
            m_codePage = codePage;
            m_singleByte = true;
            return;
        }
        const int error = errno;
        ThrowIfShortOfDescriptors(NameOf(codePage), error);
    }
    if (codePage != 0 && IsMultiByte(codePage)) {
        m_iconv = iconv_open("UTF-8", NameOf(codePage).c_str());
        if (m_iconv != kNoIconv) {
            m_codePage = codePage;
            return;
        }
        const int error = errno;
        ThrowIfShortOfDescriptors(NameOf(codePage), error);
    }
    m_iconv = iconv_open("UTF-8", "CP932");
    if (m_iconv == kNoIconv) {
        const int error = errno;
        ThrowNoTextConverter("CP932", error);
    }
    m_codePage = 932;
}

CCodePageText::~CCodePageText() {
    if (m_iconv && m_iconv != kNoIconv) {
        iconv_close(static_cast<iconv_t>(m_iconv));
    }
}

std::string CCodePageText::IconvName() const {
    return NameOf(m_codePage);
}

const CCodePageText& CCodePageText::Cp932() {
    static const CCodePageText cp932(932);
    return cp932;
}

std::string CCodePageText::ToUtf8(std::span<const uint8_t> bytes) const {
    if (IsAscii(bytes)) {
        return std::string(bytes.begin(), bytes.end());
    }
    if (!m_singleByte) {
        return MultiByteToUtf8(bytes, false);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        // Every code point of a single-byte code page fits in three UTF-8 bytes.
        out.append(&m_table[b][1], static_cast<size_t>(m_table[b][0]));
    }
    return out;
}

std::string CCodePageText::ToUtf8Replacing(std::span<const uint8_t> bytes) const {
    if (m_singleByte || IsAscii(bytes)) {
        return ToUtf8(bytes);
    }
    return MultiByteToUtf8(bytes, true);
}

std::string CCodePageText::MultiByteToUtf8(std::span<const uint8_t> bytes, bool replacing) const {
    // iconv keeps a shift state in its descriptor: one conversion at a time.
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    const auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // A double-byte character never takes more than 4 UTF-8 bytes, a single byte at most 3,
    // and U+FFFD for one byte 3: every input byte has its three output bytes.
    std::string out(bytes.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    for (;;) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        const size_t at = bytes.size() - inLeft;
        if (!replacing || errno == E2BIG || inLeft == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", bytes[std::min(at, bytes.size() - 1)]);
            throw CJetFormatError("its text is not valid in code page " +
                                  std::to_string(m_codePage) + " (byte " + hex + " at offset " +
                                  std::to_string(at) + ")");
        }
        // EILSEQ, or EINVAL for a lead byte at the end: mark the byte and go on after it.
        ++in;
        --inLeft;
        std::memcpy(outPtr, "\xEF\xBF\xBD", 3);
        outPtr += 3;
        outLeft -= 3;
    }
    out.resize(out.size() - outLeft);
    return out;
}
