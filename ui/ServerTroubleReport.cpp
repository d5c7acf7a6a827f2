#include "ui/ServerTroubleReport.h"

#include "migration/CountText.h"
#include "migration/target/TargetFailure.h"

namespace {

std::string WhatHappened(ServerTrouble trouble) {
    switch (trouble) {
        case ServerTrouble::Lost:
            return "移行先のサーバーとの接続が切れました。";
        case ServerTrouble::Ended:
            return "移行先のサーバーが接続を終了しました（サーバーが停止したか、管理者が接続を"
                   "切断しました）。";
        case ServerTrouble::NoAnswer:
            return "移行先のサーバーが応答しなくなったため、移行を打ち切りました。";
        case ServerTrouble::None:
            break;
    }
    return {};
}

// What the target holds of the run, as far as it is known.
std::string WhatIsIn(const CRunOutcome& outcome) {
    if (outcome.sessionLeft) {
        return "サーバー上のセッションを終了できなかったため、移行先の状態は確認できていません。";
    }
    if (outcome.unknown == UnknownOutcome::Commit ||
        (outcome.inCommit && !outcome.table && !outcome.rolledBack)) {
        return "移行先は以前の内容か今回の内容のどちらかです（確定の結果は確認できません）。";
    }
    if (outcome.rolledBack) {
        return "移行先は元のままです。";
    }
    if (!outcome.table) {
        return "行は移行していません。";
    }
    const CTableProgress& table = *outcome.table;
    if (outcome.unknown == UnknownOutcome::Row) {
        const std::string next = GroupThousands(table.inserted + 1);
        return table.table + "の移行済みは " + GroupThousands(table.inserted) + " 件または " +
               next + " 件です（" + next + " 件目が登録されたかは確認できません）。";
    }
    return table.table + "は " + GroupThousands(table.total) + " 件中 " +
           GroupThousands(table.inserted) + " 件を移行済みです。";
}

}  // namespace

std::optional<CServerTroubleReport> DescribeServerTrouble(const CRunOutcome& outcome) {
    const ServerTrouble trouble = ServerTroubleOf(outcome);
    if (trouble == ServerTrouble::None) {
        return std::nullopt;
    }
    std::string detail;
    try {
        std::rethrow_exception(outcome.error);
    } catch (const CException& e) {
        detail = e.GetErrorMessage();
    } catch (...) {
    }
    while (!detail.empty() && detail.back() == '\n') {
        detail.pop_back();
    }
    return CServerTroubleReport{
        WhatHappened(trouble) + WhatIsIn(outcome) +
            "\nサーバーの状態を確認してから、もう一度移行して「置き換える」を選んでください。",
        detail};
}
