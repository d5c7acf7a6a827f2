#include "dbaccess/MdbVetting.h"

#include "dbaccess/JetValue.h"
#include "dbaccess/MdbDatabase.h"
#include "dbaccess/MdbTableReader.h"

std::vector<VetTableCount> ReadEveryTable(const std::string& path) {
    MdbDatabase file(path);
    std::vector<VetTableCount> counts;
    for (const std::string& name : file.TableNames(false)) {
        MdbTableReader reader(file, name);
        std::vector<size_t> readable;
        for (size_t i = 0; i < reader.ColumnCount(); ++i) {
            if (IsReadableJetType(reader.ColumnType(i))) {
                readable.push_back(i);
            }
        }
        while (reader.Next()) {
            for (size_t column : readable) {
                (void)reader.Value(column);
            }
        }
        counts.push_back({reader.Name(), reader.RowsRead()});
    }
    return counts;
}
