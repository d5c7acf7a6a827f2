#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/verify/Verification.h"

// The account of one run for scheduled jobs: how it ended and, for every table it started, in
// run order, its total (the rows read once the table was read whole, the rows the source
// declares before that), the count the source declared when the rows read differ from it, the
// statements the target acknowledged and the time the table took.
class CRunSummary {
public:
    struct Table {
        std::string table;
        size_t total = 0;
        std::optional<size_t> declared;  // only when it differs from the rows read
        size_t inserted = 0;
        double seconds = 0;
        // Columns whose text was cut at a zero byte: the first row and how many values.
        struct ZeroByteCut {
            std::string column;
            size_t firstRow = 0;
            size_t count = 0;
        };
        std::vector<ZeroByteCut> zeroByteCuts;
    };

    // A table started; it becomes the last one.
    void TableStarted(const CTableProgress& table);
    // The last table stands at table.inserted rows of table.total now.
    void TableAt(const CTableProgress& table);
    // The last table was read whole, and its rows are not the count its source declared.
    void RowCountDiffers(const CTableProgress& table, size_t declared);
    // The last table's column lost the text after a zero byte in the row being copied.
    void TextCutAtZeroByte(const CTableProgress& table, const std::string& column);

    // The target the run wrote to, as a user recognises it (never a password); empty: none.
    void SetTarget(std::string target) { m_strTarget = std::move(target); }
    // How a replacing run loaded its rows ("copy" or "insert"); empty: not told.
    void SetBulk(std::string bulk) { m_strBulk = std::move(bulk); }
    // The run was rolled back: the target kept none of the rows sent.
    void RolledBack() noexcept;
    // The verification of the copy, for a run that asked for one; null: none was asked for,
    // and the summary has no verification keys.
    void SetVerification(std::shared_ptr<const CVerification> verification) {
        m_verification = std::move(verification);
    }
    // What a "differs" status found to differ: "count" (the rows a table holds) or "values"
    // (the rows read back are not the rows sent).
    void SetDiffers(std::string what) { m_strDiffers = std::move(what); }

    const std::vector<Table>& Tables() const noexcept { return m_tables; }

    // {"status": ..., "error": ... (only when given), "tables": [...]} on one line, each table
    // as {"table", "total", "declared" (only when known to differ), "inserted", "seconds",
    // "cut_at_zero_byte" (only when any: [{"column", "first_row", "count"}]), "verified"
    // (only with a verification: the table was read back whole and holds exactly the rows
    // sent)}. status is "running", "completed", "stopped", "failed" or "differs" (every row
    // was sent and committed, but a target table does not hold what the run accounts for, or
    // not as it was sent; then "differs": "count" or "values" follows the tables). With a
    // verification, "verification" ("equal", "differs" or "not run") follows, with
    // "verification_reason" when it was not run or was stopped, and "differences_file" when
    // the differing rows were written to one. Texts are escaped as JSON wants, and bytes that
    // are not UTF-8 become U+FFFD.
    std::string ToJson(const std::string& status, const std::string* error) const;

private:
    std::vector<Table> m_tables;
    std::string m_strTarget;
    std::shared_ptr<const CVerification> m_verification;
    std::string m_strDiffers = "count";
    std::string m_strBulk;
    std::chrono::steady_clock::time_point m_started;
};

// text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// Writes text to path through a temporary file beside it and a rename, so that a reader sees
// the old file or the whole new one. The temporary is created exclusively under a name of
// mkstemp's making, and removed when anything fails. Throws CException naming the path when
// it cannot.
void WriteFileAtomically(const std::string& path, const std::string& text);
