#include "migration/RunVerifier.h"

#include <algorithm>
#include <utility>

#include "dbaccess/Translate.h"
#include "dbaccess/Utf8Cut.h"
#include "migration/CountText.h"
#include "migration/DifferencesFile.h"
#include "migration/ProgressClock.h"
#include "migration/SourceRow.h"
#include "migration/TableCatalogue.h"
#include "migration/statement/ColumnKind.h"

namespace {

constexpr std::size_t kRowsKept = 1000;  // differing rows kept per side of a table
constexpr std::size_t kRowsShown = 5;    // differences of a table named in the message
constexpr std::size_t kValueBytes = 200;

using Value = std::optional<std::string>;

// A differing row kept for the report: its position (source rows only) and its values.
struct CKeptRow {
    std::size_t number = 0;
    std::vector<Value> values;
};

// A value as a message shows it: quoted as it would be typed, NULL as the keyword, a long one
// cut.
std::string Shown(const Value& value) {
    if (!value) {
        return "NULL";
    }
    const std::size_t cut = Utf8CutLength(*value, kValueBytes);
    return "'" + value->substr(0, cut) + (cut < value->size() ? "…'" : "'");
}

std::vector<std::string> ColumnNames(const CCatalogueEntry& entry) {
    std::vector<std::string> names;
    for (const CCatalogueColumn& column : entry.columns) {
        names.push_back(column.name);
    }
    return names;
}

std::size_t EqualColumns(const CKeptRow& a, const CKeptRow& b) {
    std::size_t equal = 0;
    for (std::size_t i = 0; i < a.values.size() && i < b.values.size(); ++i) {
        equal += a.values[i] == b.values[i] ? 1 : 0;
    }
    return equal;
}

// The column that tells a reader which row is meant: the first one holding a value (in both
// rows, when a target row is given, and the same in both).
std::string KeyOf(const CCatalogueEntry& entry, const CKeptRow& source, const CKeptRow* target) {
    for (std::size_t i = 0; i < entry.columns.size() && i < source.values.size(); ++i) {
        if (!source.values[i] || source.values[i]->empty()) {
            continue;
        }
        if (target == nullptr || target->values[i] == source.values[i]) {
            return entry.columns[i].name + " " + Shown(source.values[i]);
        }
    }
    return {};
}

std::string RowText(const CCatalogueEntry& entry, const CKeptRow& row) {
    std::string text = "(";
    for (std::size_t i = 0; i < entry.columns.size() && i < row.values.size(); ++i) {
        text += (i == 0 ? "" : ", ") + entry.columns[i].name + " " + Shown(row.values[i]);
    }
    return text + ")";
}

// Pairs each source row the target does not hold with the target row that shares the most
// values with it (a value changed on the way), and describes what differs.
std::vector<CVerification::Difference> Describe(const CCatalogueEntry& entry,
                                                const std::vector<CKeptRow>& sourceOnly,
                                                const std::vector<CKeptRow>& targetOnly) {
    std::vector<CVerification::Difference> differences;
    std::vector<bool> paired(targetOnly.size(), false);
    for (const CKeptRow& source : sourceOnly) {
        std::size_t best = targetOnly.size();
        std::size_t bestEqual = 0;
        for (std::size_t t = 0; t < targetOnly.size(); ++t) {
            if (paired[t]) {
                continue;
            }
            const std::size_t equal = EqualColumns(source, targetOnly[t]);
            if (equal > bestEqual) {
                best = t;
                bestEqual = equal;
            }
        }
        if (best == targetOnly.size()) {
            differences.push_back({source.number, KeyOf(entry, source, nullptr), {}, {}, {}});
            continue;
        }
        paired[best] = true;
        const CKeptRow& target = targetOnly[best];
        const std::string key = KeyOf(entry, source, &target);
        for (std::size_t i = 0; i < entry.columns.size() && i < source.values.size(); ++i) {
            if (source.values[i] != target.values[i]) {
                differences.push_back({source.number, key, entry.columns[i].name,
                                       Shown(source.values[i]), Shown(target.values[i])});
            }
        }
    }
    for (std::size_t t = 0; t < targetOnly.size(); ++t) {
        if (!paired[t]) {
            differences.push_back({0, {}, {}, {}, RowText(entry, targetOnly[t])});
        }
    }
    return differences;
}

}  // namespace

CRunVerifier::CRunVerifier(ISourceDatabase& source, ITargetDatabase& target, IRunObserver& observer,
                           std::function<void()> stopCheck, std::string file)
    : m_source(source),
      m_target(target),
      m_observer(observer),
      m_stopCheck(std::move(stopCheck)),
      m_strFile(std::move(file)) {}

void CRunVerifier::NotRun(std::string reason) {
    m_bActive = false;
    m_result.state = CVerification::State::NotRun;
    m_result.reason = std::move(reason);
}

void CRunVerifier::Prepare(const std::vector<std::optional<std::size_t>>& before) {
    const auto& catalogue = GetTableCatalogue();
    m_result = CVerification{};
    m_hashers.clear();
    m_sent.assign(catalogue.size(), CTableDigest{});
    m_held.assign(catalogue.size(), CTableDigest{});
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        if (i >= before.size() || !before[i]) {
            NotRun(Tr("The target cannot count the rows of its tables."));
            return;
        }
        if (*before[i] != 0) {
            // The rows a run adds cannot be told apart from those already there.
            NotRun(
                TrFormat("%1 held %2 rows before the run: only a copy into empty tables (or "
                         "one that replaces their rows) can be compared with the source.",
                         {catalogue[i].table, GroupThousands(*before[i])}));
            return;
        }
    }
    try {
        for (const CCatalogueEntry& entry : catalogue) {
            m_hashers.emplace_back(m_target.ReadBackPadding(entry.table, ColumnNames(entry)));
        }
    } catch (const CConnectionLost&) {
        throw;
    } catch (const CRunStopped&) {
        throw;
    } catch (const CException& e) {
        NotRun(e.GetErrorMessage());
        return;
    }
    m_bActive = true;
}

void CRunVerifier::Progress(std::size_t rows) {
    m_nDone += rows;
    if (++m_nSinceProgress % 64 == 0) {
        m_stopCheck();
    }
    if (m_clock.Due()) {
        m_observer.OnVerifyProgress(m_nDone, m_nTotal);
    }
}

std::size_t CRunVerifier::ReadTarget(std::size_t index, const std::function<void(RowHash)>& each) {
    const CCatalogueEntry& entry = GetTableCatalogue()[index];
    const std::size_t columns = entry.columns.size();
    std::unique_ptr<ITableReader> reader = m_target.ReadBack(entry.table, ColumnNames(entry));
    CRowHasher& hasher = m_hashers[index];
    std::size_t rows = 0;
    while (reader->Next()) {
        hasher.Begin();
        for (std::size_t c = 0; c < columns; ++c) {
            const CReadValue value = reader->Value(c);
            if (value.null) {
                hasher.AddNull();
            } else {
                hasher.AddValue(value.data, value.size);
            }
        }
        if (each) {
            each(hasher.Finish());
        }
        ++rows;
        Progress(1);
    }
    return rows;
}

std::optional<std::vector<std::size_t>> CRunVerifier::ReadBack() {
    if (!m_bActive) {
        return std::nullopt;
    }
    const auto& catalogue = GetTableCatalogue();
    m_nDone = 0;
    m_nTotal = 0;
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        m_nTotal += m_sent[i].rows;
        CVerification::Table table;
        table.table = catalogue[i].table;
        table.sourceRows = m_sent[i].rows;
        m_result.tables.push_back(std::move(table));
    }
    m_observer.OnVerifyStart(m_nTotal);
    std::vector<std::size_t> held;
    std::size_t reading = 0;
    try {
        for (std::size_t i = 0; i < catalogue.size(); ++i) {
            reading = i;
            CTableDigest& digest = m_held[i];
            ReadTarget(i, [&digest](RowHash hash) { digest.Add(hash); });
            CVerification::Table& table = m_result.tables[i];
            table.targetRows = digest.rows;
            table.read = true;
            table.verified = digest == m_sent[i];
            held.push_back(digest.rows);
        }
    } catch (const CRunStopped&) {
        m_bActive = false;
        m_result.state = CVerification::State::Stopped;
        m_result.reason = Tr("The verification was stopped before every table was read back.");
        return std::nullopt;
    } catch (const CException& e) {
        NotRun(TrFormat("The target's table %1 could not be read back: %2",
                        {catalogue[reading].table, e.GetErrorMessage()}));
        return std::nullopt;
    }
    m_observer.OnVerifyProgress(m_nDone, m_nTotal);
    const bool equal = std::all_of(m_result.tables.begin(), m_result.tables.end(),
                                   [](const CVerification::Table& t) { return t.verified; });
    m_result.state = equal ? CVerification::State::Equal : CVerification::State::Differs;
    return held;
}

void CRunVerifier::FindDifferences() {
    if (!m_bActive || m_result.state != CVerification::State::Differs) {
        return;
    }
    m_bActive = false;
    try {
        for (std::size_t i = 0; i < m_result.tables.size(); ++i) {
            if (!m_result.tables[i].verified) {
                FindTableDifferences(i);
            }
        }
    } catch (const CRunStopped&) {
        m_result.reason = Tr("The search for the rows that differ was stopped.");
    } catch (const CException& e) {
        m_result.reason =
            TrFormat("The rows that differ could not be found: %1", {e.GetErrorMessage()});
    }
    try {
        m_result.differencesFile = WriteDifferencesFile(m_result);
    } catch (const CException& e) {
        m_result.reason += (m_result.reason.empty() ? "" : "\n") + e.GetErrorMessage();
    }
}

void CRunVerifier::FindTableDifferences(std::size_t index) {
    const CCatalogueEntry& entry = GetTableCatalogue()[index];
    CVerification::Table& table = m_result.tables[index];
    m_nTotal += 2 * table.targetRows + table.sourceRows;

    // The target's rows as sorted hashes; used[s] counts the source rows matched to the run of
    // equal hashes that starts at s.
    std::vector<RowHash> held;
    held.reserve(table.targetRows);
    ReadTarget(index, [&held](RowHash hash) { held.push_back(hash); });
    std::sort(held.begin(), held.end());
    std::vector<std::uint32_t> used(held.size(), 0);

    CRowHasher& hasher = m_hashers[index];
    std::vector<CKeptRow> sourceOnly;
    std::unique_ptr<IRecordset> recordset = m_source.OpenRecordset(entry.query);
    for (std::size_t number = 1; !recordset->IsEOF(); ++number, recordset->MoveNext()) {
        CInsertItemList row(entry.table, entry.columns.size());
        ReadSourceRow(entry, *recordset, row, nullptr, number, m_strFile);
        const RowHash hash = hasher.HashRow(row);
        Progress(1);
        const auto first = std::lower_bound(held.begin(), held.end(), hash);
        if (first != held.end() && *first == hash) {
            const auto last = std::upper_bound(first, held.end(), hash);
            std::uint32_t& matched = used[first - held.begin()];
            if (matched < static_cast<std::size_t>(last - first)) {
                ++matched;
                continue;
            }
        }
        ++table.sourceOnly;
        if (sourceOnly.size() < kRowsKept) {
            CKeptRow kept{number, {}};
            for (const CInsertItem& item : row.m_items) {
                kept.values.push_back(item.m_nKind == COLKIND_NULL ? Value{}
                                                                   : Value{item.m_strValue});
            }
            sourceOnly.push_back(std::move(kept));
        }
    }
    recordset->Close();

    // What is left of each run of equal hashes is held by the target and was not sent.
    std::vector<std::pair<RowHash, std::size_t>> extra;
    for (std::size_t s = 0; s < held.size();) {
        std::size_t e = s;
        while (e < held.size() && held[e] == held[s]) {
            ++e;
        }
        if (used[s] < e - s) {
            extra.emplace_back(held[s], e - s - used[s]);
            table.targetOnly += e - s - used[s];
        }
        s = e;
    }
    std::vector<RowHash>().swap(held);
    std::vector<std::uint32_t>().swap(used);

    std::vector<CKeptRow> targetOnly;
    if (!extra.empty()) {
        const std::size_t columns = entry.columns.size();
        std::unique_ptr<ITableReader> reader = m_target.ReadBack(entry.table, ColumnNames(entry));
        while (reader->Next()) {
            hasher.Begin();
            for (std::size_t c = 0; c < columns; ++c) {
                const CReadValue value = reader->Value(c);
                value.null ? hasher.AddNull() : hasher.AddValue(value.data, value.size);
            }
            Progress(1);
            const RowHash hash = hasher.Finish();
            const auto it = std::lower_bound(
                extra.begin(), extra.end(), hash,
                [](const std::pair<RowHash, std::size_t>& e, RowHash h) { return e.first < h; });
            if (it == extra.end() || it->first != hash || it->second == 0) {
                continue;
            }
            --it->second;
            CKeptRow kept;
            for (std::size_t c = 0; c < columns; ++c) {
                const CReadValue value = reader->Value(c);
                kept.values.push_back(value.null ? Value{}
                                                 : Value{std::string(value.data, value.size)});
            }
            targetOnly.push_back(std::move(kept));
            if (targetOnly.size() == kRowsKept) {
                break;
            }
        }
    }
    table.differences = Describe(entry, sourceOnly, targetOnly);
}

std::string CRunVerifier::DifferencesText() const {
    return std::string(Tr("The target does not hold exactly the rows that were sent.")) + "\n" +
           RowsText() +
           Tr("The rows stay in the target. Check what the target database does to the values "
              "(triggers, column sizes, its collation or character set), then run the "
              "migration again, replacing the target's rows.") +
           "\n";
}

std::string CRunVerifier::RowsText() const {
    std::string text;
    for (const CVerification::Table& table : m_result.tables) {
        if (table.verified || !table.read) {
            continue;
        }
        text +=
            TrFormat(
                "%1: %2 of the %3 rows sent are not in the target as sent; %4 of the "
                "%5 rows it holds were not sent.",
                {table.table, GroupThousands(table.sourceOnly), GroupThousands(table.sourceRows),
                 GroupThousands(table.targetOnly), GroupThousands(table.targetRows)}) +
            "\n";
        for (std::size_t i = 0; i < table.differences.size() && i < kRowsShown; ++i) {
            text += "  " + DescribeDifference(table.table, table.differences[i]) + "\n";
        }
    }
    if (!m_result.differencesFile.empty()) {
        text += TrFormat("Every row that differs (up to 1,000 a table) is listed in %1.",
                         {m_result.differencesFile}) +
                "\n";
    }
    if (!m_result.reason.empty()) {
        text += m_result.reason + "\n";
    }
    return text;
}
