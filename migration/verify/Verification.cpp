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
    if (d.sourceRow == 0) {
        return TrFormat("%1 row not in the source: %2", {table, d.target});
    }
    const std::string row = std::to_string(d.sourceRow);
    if (d.column.empty()) {
        return d.key.empty()
                   ? TrFormat("%1 row %2: not in the target", {table, row})
                   : TrFormat("%1 row %2 with %3: not in the target", {table, row, d.key});
    }
    return d.key.empty() ? TrFormat("%1 row %2: %3 source %4 target %5",
                                    {table, row, d.column, d.source, d.target})
                         : TrFormat("%1 row %2 with %3: %4 source %5 target %6",
                                    {table, row, d.key, d.column, d.source, d.target});
}
