#include "migration/RunSummary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when it is not a valid one.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned min = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    unsigned code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

// Whether verification read table back whole and found it holds exactly the rows sent.
bool Verified(const CVerification& verification, const std::string& table) {
    for (const CVerification::Table& read : verification.tables) {
        if (read.table == table) {
            return read.verified;
        }
    }
    return false;
}

std::string Seconds(double seconds) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}

}  // namespace

void CRunSummary::TableStarted(const CTableProgress& table) {
    m_tables.push_back(Table{table.table, table.total, std::nullopt, table.inserted, 0, {}});
    m_started = std::chrono::steady_clock::now();
}

void CRunSummary::RolledBack() noexcept {
    for (Table& table : m_tables) {
        table.inserted = 0;
    }
}

void CRunSummary::TableAt(const CTableProgress& table) {
    if (m_tables.empty()) {
        return;
    }
    m_tables.back().total = table.total;
    m_tables.back().inserted = table.inserted;
    m_tables.back().seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
}

void CRunSummary::RowCountDiffers(const CTableProgress& table, size_t declared) {
    TableAt(table);
    if (!m_tables.empty()) {
        m_tables.back().declared = declared;
    }
}

void CRunSummary::TextCutAtZeroByte(const CTableProgress& table, const std::string& column) {
    if (m_tables.empty()) {
        return;
    }
    std::vector<Table::ZeroByteCut>& cuts = m_tables.back().zeroByteCuts;
    for (Table::ZeroByteCut& cut : cuts) {
        if (cut.column == column) {
            ++cut.count;
            return;
        }
    }
    cuts.push_back({column, table.inserted + 1, 1});
}

std::string CRunSummary::ToJson(const std::string& status, const std::string* error) const {
    std::string json = "{\"status\": " + JsonString(status);
    if (error != nullptr) {
        json += ", \"error\": " + JsonString(*error);
    }
    json += ", \"tables\": [";
    for (size_t i = 0; i < m_tables.size(); ++i) {
        const Table& table = m_tables[i];
        json += (i == 0 ? "" : ", ");
        json += "{\"table\": " + JsonString(table.table) +
                ", \"total\": " + std::to_string(table.total);
        if (table.declared) {
            json += ", \"declared\": " + std::to_string(*table.declared);
        }
        json += ", \"inserted\": " + std::to_string(table.inserted) +
                ", \"seconds\": " + Seconds(table.seconds);
        if (!table.zeroByteCuts.empty()) {
            json += ", \"cut_at_zero_byte\": [";
            for (size_t k = 0; k < table.zeroByteCuts.size(); ++k) {
                const Table::ZeroByteCut& cut = table.zeroByteCuts[k];
                json += (k == 0 ? "{\"column\": " : ", {\"column\": ") + JsonString(cut.column) +
                        ", \"first_row\": " + std::to_string(cut.firstRow) +
                        ", \"count\": " + std::to_string(cut.count) + "}";
            }
            json += "]";
        }
        if (m_verification) {
            json += std::string(", \"verified\": ") +
                    (Verified(*m_verification, table.table) ? "true" : "false");
        }
        json += "}";
    }
    json += "]";
    if (status == "differs") {
        // What differs: the rows the target holds from the rows the run accounts for, or
        // their values from the values sent.
        json += ", \"differs\": " + JsonString(m_strDiffers);
    }
    if (m_verification) {
        const CVerification::State state = m_verification->state;
        json += ", \"verification\": " + JsonString(VerificationWord(state));
        if (state == CVerification::State::NotRun || state == CVerification::State::Stopped) {
            json += ", \"verification_reason\": " + JsonString(m_verification->reason);
        }
        if (!m_verification->differencesFile.empty()) {
            json += ", \"differences_file\": " + JsonString(m_verification->differencesFile);
        }
    }
    if (!m_strTarget.empty()) {
        json += ", \"target\": " + JsonString(m_strTarget);
    }
    if (!m_strBulk.empty()) {
        json += ", \"bulk\": " + JsonString(m_strBulk);
    }
    return json + "}\n";
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            json += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            json += escape;
        } else {
            json.append(text, i, length);
        }
        i += length;
    }
    return json + "\"";
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    // The temporary gets an unpredictable name and is created exclusively, so that nothing
    // planted beside the file (a link to another file) is ever opened or followed.
    std::string temporary = path + ".tmp-XXXXXX";
    const auto fail = [&](int error) {
        throw CException(TrFormat("Cannot write '%1': %2.", {path, std::strerror(error)}));
    };
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        fail(errno);
    }
    // The file gets the permissions an ordinary new file would, not mkstemp's 0600.
    const mode_t mask = umask(0);
    umask(mask);
    bool written = fchmod(fd, 0666 & ~mask) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        written = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    written = written && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        fail(error);
    }
}
