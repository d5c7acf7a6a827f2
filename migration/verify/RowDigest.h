#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "migration/statement/InsertItem.h"

// The 128-bit hash of one row in the form both sides of a verification are compared in: for
// each column in order, NULL apart from any value, and a value as its bytes (text as UTF-8,
// integers in decimal, date-times "yyyy/mm/dd hh:mm:ss"). A text column the target pads to a
// fixed length is compared without its trailing blanks, on both sides.
__extension__ typedef unsigned __int128 RowHash;

class CRowHasher {
public:
    // padded[i]: column i is padded by the target (the columns in the order they are added).
    explicit CRowHasher(std::vector<bool> padded = {}) : m_padded(std::move(padded)) {}

    void Begin() {
        m_buffer.clear();
        m_nColumn = 0;
    }
    void AddNull();
    void AddValue(const char* data, std::size_t size);
    RowHash Finish() const;

    // The hash of a row as the run rendered it for its statement.
    RowHash HashRow(const CInsertItemList& row);

private:
    bool Padded() const { return m_nColumn < m_padded.size() && m_padded[m_nColumn]; }

    std::vector<bool> m_padded;
    std::string m_buffer;
    std::size_t m_nColumn = 0;
};

// A table's rows as a multiset: the sum of their hashes (modulo 2^128) and their number. Two
// tables with equal digests hold the same rows, duplicates counted, whatever their order; a
// sum rather than an exclusive or, so that a pair of equal rows does not cancel out.
struct CTableDigest {
    RowHash sum = 0;
    std::size_t rows = 0;

    void Add(RowHash hash) noexcept {
        sum += hash;
        ++rows;
    }
    bool operator==(const CTableDigest& other) const noexcept {
        return sum == other.sum && rows == other.rows;
    }
    bool operator!=(const CTableDigest& other) const noexcept { return !(*this == other); }
};
