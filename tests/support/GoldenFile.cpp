#include "tests/support/GoldenFile.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

class CJsonStringArrayParser {
public:
    explicit CJsonStringArrayParser(std::string_view json) : m_json(json) {}

    std::vector<std::string> Parse() {
        std::vector<std::string> strings;
        SkipWhitespace();
        Expect('[');
        SkipWhitespace();
        if (!Accept(']')) {
            do {
                SkipWhitespace();
                strings.push_back(ParseString());
                SkipWhitespace();
            } while (Accept(','));
            Expect(']');
        }
        SkipWhitespace();
        if (m_pos != m_json.size()) {
            Fail("text after the array");
        }
        return strings;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON string array: " + what + " at byte " +
                                 std::to_string(m_pos));
    }

    void SkipWhitespace() {
        while (m_pos < m_json.size() && (m_json[m_pos] == ' ' || m_json[m_pos] == '\t' ||
                                         m_json[m_pos] == '\n' || m_json[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    bool Accept(char c) {
        if (m_pos < m_json.size() && m_json[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Accept(c)) {
            Fail(std::string("expected '") + c + "'");
        }
    }

    char Next() {
        if (m_pos >= m_json.size()) {
            Fail("unexpected end");
        }
        return m_json[m_pos++];
    }

    uint32_t ParseHex4() {
        uint32_t unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Next();
            unit <<= 4;
            if (c >= '0' && c <= '9') {
                unit |= static_cast<uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                unit |= static_cast<uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                unit |= static_cast<uint32_t>(c - 'A' + 10);
            } else {
                Fail("bad \\u escape");
            }
        }
        return unit;
    }

    // The code point of a \u escape whose "\u" has been read; joins a surrogate pair.
    uint32_t ParseUnicodeEscape() {
        const uint32_t unit = ParseHex4();
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            Fail("lone low surrogate");
        }
        if (unit < 0xD800 || unit > 0xDBFF) {
            return unit;
        }
        if (!Accept('\\') || !Accept('u')) {
            Fail("high surrogate without its low surrogate");
        }
        const uint32_t low = ParseHex4();
        if (low < 0xDC00 || low > 0xDFFF) {
            Fail("high surrogate without its low surrogate");
        }
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }

    static void AppendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::string ParseString() {
        Expect('"');
        std::string text;
        for (;;) {
            const char c = Next();
            if (c == '"') {
                return text;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("raw control character in a string");
            }
            if (c != '\\') {
                text += c;  // UTF-8 bytes pass through
                continue;
            }
            switch (const char escape = Next()) {
                case '"':
                case '\\':
                case '/':
                    text += escape;
                    break;
                case 'b':
                    text += '\b';
                    break;
                case 'f':
                    text += '\f';
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case 't':
                    text += '\t';
                    break;
                case 'u':
                    AppendUtf8(text, ParseUnicodeEscape());
                    break;
                default:
                    Fail("unknown escape");
            }
        }
    }

    std::string_view m_json;
    std::size_t m_pos = 0;
};

}  // namespace

std::vector<std::string> ParseJsonStringArray(std::string_view json) {
    return CJsonStringArrayParser(json).Parse();
}

std::vector<std::string> ReadGoldenStatements(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path.string());
    }
    std::ostringstream content;
    content << file.rdbuf();
    try {
        return ParseJsonStringArray(content.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path.string() + ": " + e.what());
    }
}
