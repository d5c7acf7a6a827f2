#include "dbaccess/MdbVetting.h"

#include "dbaccess/JetValue.h"
#include "dbaccess/MdbDatabase.h"
#include "dbaccess/MdbTableReader.h"

std::vector<VetTableCount> ReadEveryTable(const std::string& path) {
    MdbDatabase file(path);
    std::vector<VetTableCount> counts;
    for (const std::string& name : file.TableNames(false)) {
        MdbTableReader reader(file, name);
        // Text is decoded by our own code, which never fails and never calls libmdb: its
        // fields are only checked to lie inside their page. Everything else is read whole
        // (a Memo follows its LVAL pages through libmdb).
        std::vector<size_t> readable;
        std::vector<size_t> checked;
        for (size_t i = 0; i < reader.ColumnCount(); ++i) {
            if (reader.ColumnType(i) == jettype::kText) {
                checked.push_back(i);
            } else if (IsReadableJetType(reader.ColumnType(i))) {
                readable.push_back(i);
            }
        }
        while (reader.Next()) {
            for (size_t column : readable) {
                (void)reader.Value(column);
            }
            for (size_t column : checked) {
                reader.CheckField(column);
            }
        }
        counts.push_back({reader.Name(), reader.RowsRead()});
    }
    return counts;
}
