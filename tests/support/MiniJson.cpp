#include "tests/support/MiniJson.h"

#include <stdexcept>

#include "dbaccess/access/jet/JetText.h"

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    JsonValue Document() {
        JsonValue value = Value();
        Blanks();
        if (m_at != m_text.size()) {
            Fail("text after the value");
        }
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("not JSON at offset " + std::to_string(m_at) + ": " + what);
    }
    void Blanks() {
        while (m_at < m_text.size() &&
               std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) {
            ++m_at;
        }
    }
    bool Take(char c) {
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) {
            Fail(std::string("expected '") + c + "'");
        }
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_at, word.size()) == word) {
            m_at += word.size();
            return true;
        }
        return false;
    }

    JsonValue Value() {
        Blanks();
        JsonValue v;
        if (m_at >= m_text.size()) {
            Fail("end of text");
        }
        const char c = m_text[m_at];
        if (c == '{') {
            v.kind = JsonValue::Kind::Object;
            ++m_at;
            if (!Take('}')) {
                do {
                    Blanks();
                    const std::string key = String();
                    Expect(':');
                    v.members[key] = Value();
                } while (Take(','));
                Expect('}');
            }
        } else if (c == '[') {
            v.kind = JsonValue::Kind::Array;
            ++m_at;
            if (!Take(']')) {
                do {
                    v.items.push_back(Value());
                } while (Take(','));
                Expect(']');
            }
        } else if (c == '"') {
            v.kind = JsonValue::Kind::String;
            v.text = String();
        } else if (Word("true") || Word("false")) {
            v.kind = JsonValue::Kind::Bool;
            v.boolean = c == 't';
        } else if (Word("null")) {
            v.kind = JsonValue::Kind::Null;
        } else {
            v.kind = JsonValue::Kind::Number;
            const size_t start = m_at;
            while (m_at < m_text.size() && std::string_view("+-.eE0123456789").find(m_text[m_at]) !=
                                               std::string_view::npos) {
                ++m_at;
            }
            if (m_at == start) {
                Fail("unexpected character");
            }
            v.text = std::string(m_text.substr(start, m_at - start));
        }
        return v;
    }

    char32_t Hex4() {
        if (m_at + 4 > m_text.size()) {
            Fail("short \\u escape");
        }
        const char32_t u = std::stoul(std::string(m_text.substr(m_at, 4)), nullptr, 16);
        m_at += 4;
        return u;
    }

    std::string String() {
        if (m_at >= m_text.size() || m_text[m_at] != '"') {
            Fail("expected a string");
        }
        ++m_at;
        std::string out;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            const char c = m_text[m_at++];
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = m_text.at(m_at++);
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    char32_t u = Hex4();
                    if (u >= 0xD800 && u <= 0xDBFF && Word("\\u")) {
                        u = 0x10000 + ((u - 0xD800) << 10) + (Hex4() - 0xDC00);
                    }
                    AppendUtf8(out, u);
                    break;
                }
                default:
                    out += e;
            }
        }
        Expect('"');
        return out;
    }

    std::string_view m_text;
    size_t m_at = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
    static const JsonValue null;
    const auto it = members.find(key);
    return it == members.end() ? null : it->second;
}

JsonValue ParseJson(std::string_view text) {
    return Parser(text).Document();
}
