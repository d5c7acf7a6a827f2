#pragma once

#include <cstddef>
#include <string>

#include "migration/EngineInterfaces.h"

struct CCatalogueEntry;

// Receives the columns of a row whose text was cut at its first zero byte.
class ICutListener {
public:
    virtual ~ICutListener() = default;
    virtual void OnCut(const std::string& column) = 0;
};

// Fills row (empty, for entry's table) with the current row of recordset, each catalogue
// column rendered for its kind, exactly as the row's statement carries it. cuts (may be null)
// hears each column cut at a zero byte. A value that cannot be converted throws
// COleException at row number rowNumber of file.
void ReadSourceRow(const CCatalogueEntry& entry, IRecordset& recordset, CInsertItemList& row,
                   ICutListener* cuts, std::size_t rowNumber, const std::string& file);
