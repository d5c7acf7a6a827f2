#include "migration/verify/Verification.h"

#include "dbaccess/Translate.h"

std::size_t CVerification::Rows() const noexcept {
    std::size_t rows = 0;
    for (const Table& table : tables) {
        rows += table.sourceRows;
    }
    return rows;
}

const char* VerificationWord(CVerification::State state) noexcept {
    switch (state) {
        case CVerification::State::Equal:
            return "equal";
        case CVerification::State::Differs:
            return "differs";
        case CVerification::State::NotRun:
        case CVerification::State::Stopped:
            break;
    }
    return "not run";
}

std::string DescribeDifference(const std::string& table, const CVerification::Difference& d) {
    std::string line = table;
    if (d.sourceRow == 0) {
        line += " " + TrFormat("row not in the source: %1", {d.target});
        return line;
    }
    line += " " + TrFormat("row %1", {std::to_string(d.sourceRow)});
    if (!d.key.empty()) {
        line += " " + TrFormat("with %1", {d.key});
    }
    if (d.column.empty()) {
        return line + ": " + Tr("not in the target");
    }
    return line + ": " + TrFormat("%1 source %2 target %3", {d.column, d.source, d.target});
}
