#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/access/libmdb/MdbDatabase.h"

// The rows found in one table when the whole file was read.
struct VetTableCount {
    std::string table;
    size_t rows = 0;
};

// How far a whole-file read has come, for a watcher on another thread that tells a slow read
// from a hang: the distinct pages libmdb has read (sampled; the catalogue is read in pages,
// not rows) plus the rows read. A loop over the same pages adds nothing, and the rows cannot
// grow for ever: a table walk visits each page of its usage map once, in increasing order,
// and a page holds a bounded number of rows.
class VetProgress final : public MdbPageWatch {
public:
    void Watch(const uint32_t* currentPage) noexcept override;
    void Unwatch() noexcept override;
    void SetRows(uint64_t rows) noexcept { m_rows.store(rows, std::memory_order_relaxed); }
    // Notes the page libmdb is on now and returns the figure.
    uint64_t Sample() noexcept;

private:
    std::mutex m_lock;
    const uint32_t* m_currentPage = nullptr;
    std::vector<bool> m_seen;
    uint64_t m_pages = 0;
    std::atomic<uint64_t> m_rows{0};
};

// What a check reads: one file, and the tables of it that the run will read.
struct VetScope {
    // The file's name as the user gave it: every message names it.
    std::string path;
    // An open descriptor of the file, read instead of whatever path names by now; -1: path.
    int fd = -1;
    // The tables the run will read; empty: every user table. A table the file lacks is left
    // to the run, which reports it missing.
    std::vector<std::string> tables;
    // The connect string whose password decrypts an encrypted .accdb (";PWD=..."). Unset, the
    // check process uses the program's own; it gets one that is set through a pipe, never on
    // its command line or in its environment, which other users can see.
    std::optional<std::string> connect;
};

// The work of brimlow-vet, run in its own process: opens the file with libmdb, reads its
// catalogue, and reads the tables of the scope whole, decoding every value of a type the
// source reader can read (memos followed to their end). These are the same libmdb calls and
// the same decoders the source reader uses, so a file that passes cannot hang or crash the
// program later, as long as the program reads no other table. System tables are not read
// whole: the program reads them only through the catalogue, which this reads the same way.
// Anything libmdb prints counts as damage. progress, when given, is kept up to date. Returns
// the rows of each table read, in catalogue order when every table is read, else in the
// order asked for. Throws CDaoException on the first problem.
std::vector<VetTableCount> ReadTables(const VetScope& scope, VetProgress* progress = nullptr);
