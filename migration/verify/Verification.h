#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What the verification of a run found: every target table read back after the commit and
// compared with the rows the run sent, as multisets of rows (the tables have no key, and a
// target gives rows in any order).
struct CVerification {
    enum class State {
        NotRun,   // not attempted or could not be: reason says why
        Stopped,  // a stop was asked for while the tables were read back
        Equal,    // every table holds exactly the rows sent
        Differs,  // at least one table does not
    };

    // One value that differs in a row found in both, or a row found on one side only.
    struct Difference {
        std::size_t sourceRow = 0;  // 1-based position in the source table; 0: a target row
                                    // that matches no source row
        std::string key;            // identifies the row to a reader: "Col02 'A003'"
        std::string column;         // empty when the whole row is missing or extra
        std::string source;         // the value as sent (quoted, or NULL); empty: none
        std::string target;         // the value the target holds (quoted, or NULL)
        // Row missing from the target (target empty), extra in the target (source empty), or
        // one column of a row found on both sides.
    };

    struct Table {
        std::string table;
        std::size_t sourceRows = 0;           // the rows sent
        std::size_t targetRows = 0;           // the rows read back
        bool verified = false;                // read back whole and equal
        bool read = false;                    // read back whole (verified or not)
        std::size_t sourceOnly = 0;           // rows sent that the target does not hold as sent
        std::size_t targetOnly = 0;           // rows the target holds that were not sent
        std::vector<Difference> differences;  // the first of them, up to a limit
    };

    State state = State::NotRun;
    std::string reason;  // NotRun: why; Differs: what to do
    std::vector<Table> tables;
    // Where every differing row (up to a thousand a table) was written; empty: nowhere.
    std::string differencesFile;

    std::size_t Rows() const noexcept;
};

// The summary's word for state: "equal", "differs" or "not run" (a stopped verification was
// not run to its end).
const char* VerificationWord(CVerification::State state) noexcept;

// One line per difference, as the message and the differences file give them, e.g.
// "Mst01 row 17 with Col02 'A003': Col09 source 'abcd\' target 'abcd'".
std::string DescribeDifference(const std::string& table, const CVerification::Difference& d);
