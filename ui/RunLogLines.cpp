#include "ui/RunLogLines.h"

#include "migration/CountText.h"

namespace runlines {

std::string Progress(const CTableProgress& table) {
    return table.table + "を移行中… " + GroupThousands(table.inserted) + " / " +
           GroupThousands(table.total) + " 件";
}

std::string Stopped(const CTableProgress* table) {
    if (table == nullptr) {
        return "テーブルを移行する前に中止しました。";
    }
    return table->table + "の移行を中止しました。(" + GroupThousands(table->inserted) + " / " +
           GroupThousands(table->total) + " 件を移行済み)";
}

std::string Failed(const CTableProgress& table) {
    return table.table + "の " + GroupThousands(table.inserted + 1) + " 件目で失敗しました。(" +
           GroupThousands(table.inserted) + " 件を移行済み)";
}

}  // namespace runlines
