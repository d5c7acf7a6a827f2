#include "dbaccess/access/jet/Cp932Text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "dbaccess/Exceptions.h"

namespace {

// One conversion descriptor per thread: iconv_open costs far more than a short conversion.
class Cp932Converter {
public:
    Cp932Converter() : m_cd(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Converter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(m_cd);
        }
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    std::string Convert(std::span<const uint8_t> bytes) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw CDaoException(
                "Cannot read Access 97 text: this system's iconv has no CP932 converter.");
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string out(bytes.size() * 3 + 4, '\0');
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        size_t inLeft = bytes.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        while (inLeft > 0) {
            if (iconv(m_cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                break;  // cannot happen: 3 output bytes per input byte always suffice
            }
            // EILSEQ or EINVAL (a lead byte at the end): skip one byte, mark the spot with
            // U+FFFD. Every input byte has its three output bytes, so outLeft suffices.
            ++in;
            --inLeft;
            std::memcpy(outPtr, "\xEF\xBF\xBD", 3);
            outPtr += 3;
            outLeft -= 3;
        }
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    iconv_t m_cd;
};

bool IsAscii(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) {
        if (b >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Cp932ToUtf8(std::span<const uint8_t> bytes) {
    if (IsAscii(bytes)) {
        return std::string(bytes.begin(), bytes.end());
    }
    thread_local Cp932Converter converter;
    return converter.Convert(bytes);
}
