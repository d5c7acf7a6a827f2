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

namespace {

constexpr const char kCommitInDoubt[] =
    "移行先は以前の内容か新しい内容のどちらかです (確定の結果が不明です)。";

std::string RowsInDoubt(const CTableProgress& table) {
    return GroupThousands(table.inserted) + " または " + GroupThousands(table.inserted + 1) +
           " 件を移行済み。" + GroupThousands(table.inserted + 1) + " 件目の結果は不明です";
}

}  // namespace

std::string StoppedInDoubt(const CTableProgress* table) {
    if (table == nullptr) {
        return std::string("確定の途中で中止しました。") + kCommitInDoubt;
    }
    return table->table + "の移行を中止しました。(" + RowsInDoubt(*table) + ")";
}

std::string LostInDoubt(const CTableProgress* table) {
    if (table == nullptr) {
        return std::string("確定の途中で接続が切れました。") + kCommitInDoubt;
    }
    return table->table + "の " + GroupThousands(table->inserted + 1) +
           " 件目の送信中に接続が切れました。(" + RowsInDoubt(*table) + ")";
}

}  // namespace runlines
