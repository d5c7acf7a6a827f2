#include "migration/SourceRow.h"

#include "migration/TableCatalogue.h"

void ReadSourceRow(const CCatalogueEntry& entry, IRecordset& recordset, CInsertItemList& row,
                   ICutListener* cuts, std::size_t rowNumber, const std::string& file) {
    try {
        for (const CCatalogueColumn& column : entry.columns) {
            if (row.AddItem(column.name, column.kind, recordset.GetFieldValue(column.name)) &&
                cuts != nullptr) {
                cuts->OnCut(column.name);
            }
        }
    } catch (const COleException& e) {
        throw e.AtRow(rowNumber, file);
    }
}
