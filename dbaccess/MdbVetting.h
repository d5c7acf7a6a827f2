#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The rows found in one table when the whole file was read.
struct VetTableCount {
    std::string table;
    size_t rows = 0;
};

// The work of brimlow-vet, run in its own process: opens the file with libmdb, reads its
// catalogue, and reads every user table whole, decoding every value of a type the source
// reader can read (memos followed to their end). These are the same libmdb calls and the same
// decoders the source reader uses, so a file that passes cannot hang or crash the program
// later. System tables are not read whole: the program reads them only through the
// catalogue, which this reads the same way. Throws CDaoException on the first problem.
std::vector<VetTableCount> ReadEveryTable(const std::string& path);
