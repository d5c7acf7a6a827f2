#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Decodes the text of an Access 97 file to UTF-8 in the code page its header names, as Windows
// does. Single-byte code pages (1252, 1250, ...) decode every byte: a byte the code page leaves
// undefined becomes the control character of the same number (0x81 -> U+0081), which glibc's
// iconv would refuse. Multi-byte code pages (932, 936, 949, 950, 1361) go through iconv, and a
// byte sequence they do not define is an error. Code page 0 and code pages this system's iconv
// does not know are read as CP932.
class CCodePageText {
public:
    // Throws CDaoException when iconv cannot convert even CP932.
    explicit CCodePageText(int codePage);
    ~CCodePageText();
    CCodePageText(const CCodePageText&) = delete;
    CCodePageText& operator=(const CCodePageText&) = delete;

    // The code page actually used (932 where the requested one was 0 or unknown).
    int CodePage() const noexcept { return m_codePage; }
    // The iconv name of CodePage(): "CP1252".
    std::string IconvName() const;
    // Decodes bytes. Throws CJetFormatError naming the byte offset when the bytes are not valid
    // text of a multi-byte code page.
    std::string ToUtf8(std::span<const uint8_t> bytes) const;
    // Decodes bytes and never fails: a byte at which a multi-byte code page has no character
    // (an undefined lead byte, a bad trail byte, a lead byte at the end) becomes U+FFFD and
    // decoding goes on after it.
    std::string ToUtf8Replacing(std::span<const uint8_t> bytes) const;

    // The decoder for CP932 (Windows Japanese, with the NEC and IBM extensions; glibc's
    // "SHIFT-JIS" would reject those and map 0x8160 to U+301C instead of U+FF5E), shared: what
    // Access 97 text is read as when nothing else is known.
    static const CCodePageText& Cp932();

private:
    std::string MultiByteToUtf8(std::span<const uint8_t> bytes, bool replacing) const;

    int m_codePage = 932;
    bool m_singleByte = false;
    // Single-byte code pages: the UTF-8 of each byte value, its length in the first byte.
    std::array<std::array<char, 4>, 256> m_table{};
    void* m_iconv = nullptr;  // iconv_t of a multi-byte code page
};

// Throws the CDaoException for iconv_open(…, name) having failed with error: the converter is
// missing, or could not be loaded for want of descriptors or memory (named as such, with what
// to do).
[[noreturn]] void ThrowNoTextConverter(const std::string& name, int error);
