#include "dbaccess/access/libmdb/VetReport.h"

#include <array>
#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "dbaccess/Translate.h"

namespace {

constexpr std::string_view kMemoryLimit = "memory-limit";
constexpr std::string_view kProgress = "progress";
constexpr std::string_view kTable = "table";
constexpr std::string_view kOk = "ok";
constexpr std::string_view kError = "error";

// A report larger than this is a helper gone wrong: what comes after is ignored.
constexpr size_t kMaxReport = 1 << 20;

// The names of the kinds of piece in an error line, in the order of SourcePart.
constexpr std::array<std::string_view, 7> kPieceKinds = {"text", "file",   "table", "column",
                                                         "row",  "detail", "reason"};
static_assert(static_cast<size_t>(SourcePart::Reason) + 1 == kPieceKinds.size());

// The field that names the kind of failure, and the names, in the order of SourceFailureKind.
constexpr std::string_view kFailure = "failure:";
constexpr std::array<std::string_view, 19> kFailureNames = {"file-missing",
                                                            "not-a-file",
                                                            "cannot-open",
                                                            "cannot-read",
                                                            "not-a-database",
                                                            "unsupported-format",
                                                            "encrypted",
                                                            "wrong-password",
                                                            "damaged",
                                                            "stalled",
                                                            "crashed",
                                                            "memory-exhausted",
                                                            "missing-table",
                                                            "missing-column",
                                                            "unreadable-column-type",
                                                            "no-text-converter",
                                                            "changed-while-read",
                                                            "check-unavailable",
                                                            "misuse"};
static_assert(static_cast<size_t>(SourceFailureKind::Misuse) + 1 == kFailureNames.size());

std::string Escape(std::string_view text) {
    std::string field;
    field.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                field += "\\\\";
                break;
            case '\t':
                field += "\\t";
                break;
            case '\n':
                field += "\\n";
                break;
            case '\r':
                field += "\\r";
                break;
            default:
                field += c;
        }
    }
    return field;
}

// The text of a field; a backslash before any other character, or at the end, stands for
// itself.
std::string Unescape(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        const char next = i + 1 < field.size() ? field[i + 1] : '\0';
        if (field[i] != '\\' || (next != '\\' && next != 't' && next != 'n' && next != 'r')) {
            text += field[i];
            continue;
        }
        text += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
        ++i;
    }
    return text;
}

std::string Line(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (std::string_view field : fields) {
        if (!line.empty()) {
            line += '\t';
        }
        line += field;
    }
    return line + "\n";
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

uint64_t Number(std::string_view field) {
    return std::strtoull(std::string(field).c_str(), nullptr, 10);
}

// A piece of an error line; a field without a known kind is taken as text.
CSourcePiece Piece(std::string_view field) {
    const size_t colon = field.find(':');
    for (size_t kind = 0; colon != std::string_view::npos && kind < kPieceKinds.size(); ++kind) {
        if (field.substr(0, colon) == kPieceKinds[kind]) {
            return {static_cast<SourcePart>(kind), Unescape(field.substr(colon + 1))};
        }
    }
    return {SourcePart::Text, Unescape(field)};
}

// The kind of failure of that name; CannotRead for a name not known.
SourceFailureKind Failure(std::string_view name) {
    for (size_t kind = 0; kind < kFailureNames.size(); ++kind) {
        if (name == kFailureNames[kind]) {
            return static_cast<SourceFailureKind>(kind);
        }
    }
    return SourceFailureKind::CannotRead;
}

}  // namespace

std::string VetMemoryLimitLine(uint64_t bytes) {
    return Line({kMemoryLimit, std::to_string(bytes)});
}

std::string VetProgressLine(uint64_t figure) {
    return Line({kProgress, std::to_string(figure)});
}

std::string VetTableLine(const VetTableCount& count) {
    return Line({kTable, Escape(count.table), std::to_string(count.rows)});
}

std::string VetOkLine() {
    return Line({kOk});
}

std::string VetErrorLine(SourceFailureKind kind, const CDaoMessage& message) {
    std::string line(kError);
    line.append("\t").append(kFailure).append(kFailureNames[static_cast<size_t>(kind)]);
    for (const CSourcePiece& piece : message.Pieces()) {
        line.append("\t")
            .append(kPieceKinds[static_cast<size_t>(piece.part)])
            .append(":")
            .append(Escape(piece.text));
    }
    return line + "\n";
}

bool VetReportReader::Add(std::string_view bytes) {
    m_pending.append(bytes);
    bool progressed = false;
    size_t start = 0;
    for (size_t end; (end = m_pending.find('\n', start)) != std::string::npos; start = end + 1) {
        progressed |= Read(std::string_view(m_pending).substr(start, end - start));
    }
    m_pending.erase(0, start);
    if (m_pending.size() > kMaxReport) {
        m_pending.clear();
    }
    return progressed;
}

void VetReportReader::Finish() {
    if (!m_pending.empty()) {
        Read(m_pending);
        m_pending.clear();
    }
}

bool VetReportReader::Read(std::string_view line) {
    const std::vector<std::string_view> fields = Fields(line);
    const std::string_view kind = fields[0];
    if (kind == kProgress) {
        const uint64_t figure = fields.size() > 1 ? Number(fields[1]) : 0;
        if (figure <= m_bestProgress) {
            return false;
        }
        m_bestProgress = figure;
        return true;
    }
    if (m_kept >= kMaxReport) {
        return false;
    }
    m_kept += line.size() + 1;
    if (kind == kOk) {
        m_complete = true;
    } else if (kind == kMemoryLimit) {
        m_memoryLimit = fields.size() > 1 ? Number(fields[1]) : 0;
    } else if (kind == kTable && fields.size() == 3) {
        m_tables.push_back({Unescape(fields[1]), static_cast<size_t>(Number(fields[2]))});
    } else if (kind == kError) {
        CDaoMessage message;
        m_errorKind = SourceFailureKind::CannotRead;
        for (size_t i = 1; i < fields.size(); ++i) {
            if (i == 1 && fields[i].starts_with(kFailure)) {
                m_errorKind = Failure(fields[i].substr(kFailure.size()));
            } else {
                message << Piece(fields[i]);
            }
        }
        m_error = std::move(message);
    }
    return false;
}

CDaoMessage VetMemoryLimitMessage(const std::string& path, uint64_t limit) {
    return CDaoMessage::Format(
        TrNoop("The database '%1' is damaged: reading it needed more than the %2 MB of memory "
               "allowed."),
        {SourceFile(path), SourceReason(std::to_string(limit >> 20))});
}
