#include "migration/HistoryRecord.h"

#include <cstdint>
#include <cstdlib>

#include "dbaccess/Translate.h"
#include "migration/CountText.h"

namespace {

// Just enough of JSON to read back what the program itself wrote: objects, arrays, strings
// (with every escape), numbers and the three words. Values of no interest are skipped.
class CJsonReader {
public:
    explicit CJsonReader(const std::string& text) : m_text(text) {}

    bool AtEnd() {
        SkipBlanks();
        return m_pos == m_text.size();
    }
    bool Take(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    char Peek() {
        SkipBlanks();
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    std::optional<std::string> String() {
        if (!Take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) {
                return std::nullopt;
            }
            const char e = m_text[m_pos++];
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
                    std::uint32_t code = Hex4();
                    if (code >= 0xD800 && code <= 0xDBFF && m_text.compare(m_pos, 2, "\\u") == 0) {
                        m_pos += 2;
                        code = 0x10000 + ((code - 0xD800) << 10) + (Hex4() - 0xDC00);
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    out += e;
                    break;
            }
        }
        return std::nullopt;
    }
    // A number as written.
    std::optional<std::string> Number() {
        SkipBlanks();
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               std::string("+-.eE0123456789").find(m_text[m_pos]) != std::string::npos) {
            ++m_pos;
        }
        if (m_pos == start) {
            return std::nullopt;
        }
        return m_text.substr(start, m_pos - start);
    }
    // Skips any one value; false when there is none.
    bool Skip() {
        const char c = Peek();
        if (c == '"') {
            return String().has_value();
        }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            Take(c);
            if (Take(close)) {
                return true;
            }
            do {
                if (c == '{' && (!String() || !Take(':'))) {
                    return false;
                }
                if (!Skip()) {
                    return false;
                }
            } while (Take(','));
            return Take(close);
        }
        for (const char* word : {"true", "false", "null"}) {
            if (m_text.compare(m_pos, std::char_traits<char>::length(word), word) == 0) {
                m_pos += std::char_traits<char>::length(word);
                return true;
            }
        }
        return Number().has_value();
    }

private:
    void SkipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }
    std::uint32_t Hex4() {
        if (m_pos + 4 > m_text.size()) {
            m_pos = m_text.size();
            return 0xFFFD;
        }
        const std::string digits = m_text.substr(m_pos, 4);
        m_pos += 4;
        return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    }
    static void AppendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

// Adds up the "inserted" of every table of the array the reader stands on.
bool ReadTables(CJsonReader& reader, std::size_t& rows) {
    if (!reader.Take('[')) {
        return false;
    }
    if (reader.Take(']')) {
        return true;
    }
    do {
        if (!reader.Take('{')) {
            return false;
        }
        if (!reader.Take('}')) {
            do {
                const std::optional<std::string> key = reader.String();
                if (!key || !reader.Take(':')) {
                    return false;
                }
                if (*key == "inserted" && reader.Peek() != '"') {
                    const std::optional<std::string> number = reader.Number();
                    if (!number) {
                        return false;
                    }
                    rows += std::strtoull(number->c_str(), nullptr, 10);
                } else if (!reader.Skip()) {
                    return false;
                }
            } while (reader.Take(','));
            if (!reader.Take('}')) {
                return false;
            }
        }
    } while (reader.Take(','));
    return reader.Take(']');
}

}  // namespace

std::optional<CHistoryRecord> ParseHistoryLine(const std::string& line) {
    CJsonReader reader(line);
    CHistoryRecord record;
    if (!reader.Take('{')) {
        return std::nullopt;
    }
    if (!reader.Take('}')) {
        do {
            const std::optional<std::string> key = reader.String();
            if (!key || !reader.Take(':')) {
                return std::nullopt;
            }
            std::string* field = *key == "time"           ? &record.time
                                 : *key == "user"         ? &record.user
                                 : *key == "host"         ? &record.host
                                 : *key == "file"         ? &record.file
                                 : *key == "target"       ? &record.target
                                 : *key == "mode"         ? &record.mode
                                 : *key == "status"       ? &record.status
                                 : *key == "verification" ? &record.verification
                                                          : nullptr;
            if (field != nullptr && reader.Peek() == '"') {
                *field = *reader.String();
            } else if (*key == "tables") {
                if (!ReadTables(reader, record.rows)) {
                    return std::nullopt;
                }
            } else if (!reader.Skip()) {
                return std::nullopt;
            }
        } while (reader.Take(','));
        if (!reader.Take('}')) {
            return std::nullopt;
        }
    }
    if (!reader.AtEnd() || record.time.empty()) {
        return std::nullopt;
    }
    return record;
}

std::string DescribeHistoryRecord(const CHistoryRecord& record) {
    // "2026-12-10T14:02:03+09:00" to the minute.
    std::string when = record.time.substr(0, 16);
    if (when.size() > 10 && when[10] == 'T') {
        when[10] = ' ';
    }
    const std::size_t slash = record.file.rfind('/');
    const std::string file =
        slash == std::string::npos ? record.file : record.file.substr(slash + 1);
    const std::string mode = record.mode == "new"       ? Tr("new")
                             : record.mode == "replace" ? Tr("replace")
                             : record.mode == "append"  ? Tr("append")
                                                        : record.mode;
    const std::string status = record.status == "completed" ? Tr("completed")
                               : record.status == "stopped" ? Tr("stopped")
                               : record.status == "failed"  ? Tr("failed")
                               : record.status == "unknown" ? Tr("outcome unknown")
                               : record.status == "differs" ? Tr("target differs")
                               : record.status == "running" ? Tr("ended without a record")
                                                            : record.status;
    std::string line = TrFormat("%1  %2 → %3 (%4)  %5 rows  %6",
                                {when, file, record.target.empty() ? "-" : record.target, mode,
                                 GroupThousands(record.rows), status});
    if (record.verification == "equal") {
        line += TrFormat(", %1", {Tr("verified")});
    } else if (record.verification == "differs") {
        line += TrFormat(", %1", {Tr("verification found differences")});
    }
    return line;
}
