#include "dbaccess/access/jet/JetText.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Writes UTF-8 into a buffer sized beforehand for the worst case, which is much faster than
// growing a string one byte at a time (text is most of what the program reads).
char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Turns UTF-16 units into UTF-8, joining surrogate pairs even across the runs of the
// compressed form (which Access never splits, but a damaged file may).
class CUtf16Writer {
public:
    explicit CUtf16Writer(char* out) : m_out(out) {}

    void Unit(char32_t u) {
        // Nearly every unit stands for itself: only surrogates need the care below.
        if (!m_pendingHigh && !IsHighSurrogate(u) && !IsLowSurrogate(u)) {
            m_out = PutUtf8(m_out, u);
            return;
        }
        if (m_pendingHigh) {
            const char32_t high = m_pendingHigh;
            m_pendingHigh = 0;
            if (IsLowSurrogate(u)) {
                m_out = PutUtf8(m_out, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
                return;
            }
            m_out = PutUtf8(m_out, kReplacement);
        }
        if (IsHighSurrogate(u)) {
            m_pendingHigh = u;
        } else {
            m_out = PutUtf8(m_out, IsLowSurrogate(u) ? kReplacement : u);
        }
    }

    void Run(std::span<const uint8_t> utf16) {
        for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
            Unit(static_cast<char32_t>(utf16[i] | (utf16[i + 1] << 8)));
        }
    }

    char* Finish() {
        if (m_pendingHigh) {
            m_out = PutUtf8(m_out, kReplacement);
            m_pendingHigh = 0;
        }
        return m_out;
    }

private:
    char* m_out;
    char32_t m_pendingHigh = 0;
};

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    char buffer[4];
    out.append(buffer, PutUtf8(buffer, c));
}

std::string DecodeJet4Text(std::span<const uint8_t> bytes) {
    // Worst cases: a compressed byte becomes 2 UTF-8 bytes (U+0080..U+00FF); a UTF-16 unit
    // becomes at most 3; a trailing lone surrogate adds 3. Short texts, nearly all of them,
    // are decoded on the stack so that only the result is allocated.
    char stackBuffer[1024];
    std::string heapBuffer;
    char* buffer = stackBuffer;
    if (2 * bytes.size() + 4 > sizeof stackBuffer) {
        heapBuffer.resize(2 * bytes.size() + 4);
        buffer = heapBuffer.data();
    }
    CUtf16Writer writer(buffer);
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        writer.Run(bytes);
    } else {
        // The compressed form: every 0x00 byte ends a run and flips the mode, as Access and
        // Jackcess read it; the runs themselves never contain a 0x00 byte.
        bool compressed = true;
        for (size_t i = 2; i < bytes.size();) {
            if (compressed) {
                const uint8_t b = bytes[i++];
                if (b == 0x00) {
                    compressed = false;
                } else {
                    writer.Unit(b);
                }
                continue;
            }
            size_t end = i;
            while (end < bytes.size() && bytes[end] != 0x00) {
                ++end;
            }
            writer.Run(bytes.subspan(i, end - i));
            i = end + 1;
            compressed = true;
        }
    }
    return std::string(buffer, writer.Finish());
}
