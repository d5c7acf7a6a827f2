#include "migration/target/TargetFailure.h"

#include <exception>
#include <string_view>

#include "dbaccess/Translate.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/kinds/TargetKinds.h"

TargetFailureKind ClassifyTargetFailure(const CDBException& e, const CTargetKind& kind) {
    for (const CDiagnosticRecord& record : e.Records()) {
        for (const CTargetKind* known : KnownKinds()) {
            if (known->IsOwnConnectionLoss(record)) {
                return TargetFailureKind::Connection;
            }
        }
        const TargetFailureKind failure = kind.ClassifyRecord(record);
        if (failure != TargetFailureKind::Other) {
            return failure;
        }
    }
    return TargetFailureKind::Other;
}

TargetFailureKind ClassifyTargetFailure(const CDBException& e, const std::string& dbmsName) {
    return ClassifyTargetFailure(e, KindOfDbms(dbmsName));
}

namespace {

// Why a connection failed, for the advice of its Japanese text: the English one names the
// target tried and leaves the driver's text to say why.
enum class ConnectCause { Other, NoDataSource, NoDriver, Login };

ConnectCause CauseOf(const CDBException& e) {
    for (const CDiagnosticRecord& record : e.Records()) {
        if (record.state == "IM002") {
            return ConnectCause::NoDataSource;
        }
        if (record.state == "IM003" || record.message.find("Can't open lib") != std::string::npos) {
            return ConnectCause::NoDriver;
        }
        if (record.state.rfind("28", 0) == 0 ||
            record.message.find("password authentication failed") != std::string::npos ||
            record.message.find("パスワード認証に失敗しました") != std::string::npos) {
            return ConnectCause::Login;
        }
    }
    return ConnectCause::Other;
}

// The same English text, with a Japanese one for each cause (the catalogue tells them apart by
// their context).
const char* ConnectFailureFormat(ConnectCause cause, bool withDriverText) {
    switch (cause) {
        case ConnectCause::NoDataSource:
            return withDriverText ? TrContext("no data source", "%1\nTarget tried: %2.\n")
                                  : TrContext("no data source", "Target tried: %1.\n");
        case ConnectCause::NoDriver:
            return withDriverText ? TrContext("no driver", "%1\nTarget tried: %2.\n")
                                  : TrContext("no driver", "Target tried: %1.\n");
        case ConnectCause::Login:
            return withDriverText ? TrContext("login refused", "%1\nTarget tried: %2.\n")
                                  : TrContext("login refused", "Target tried: %1.\n");
        case ConnectCause::Other:
            break;
    }
    return withDriverText ? Tr("%1\nTarget tried: %2.\n") : Tr("Target tried: %1.\n");
}

}  // namespace

std::string ExplainConnectFailure(const CDBException& e, const std::string& connect,
                                  const std::string& description) {
    const std::string& driverText = e.GetErrorMessage();
    const std::string tried = DescribeTarget(connect);
    const std::string named = JapaneseTargetName(description.empty() ? tried : description);
    const ConnectCause cause = CauseOf(e);
    if (driverText.empty()) {
        return FormatMessage(ConnectFailureFormat(cause, false), {tried, named});
    }
    const std::string_view text(driverText.data(),
                                driverText.size() - (driverText.back() == '\n' ? 1 : 0));
    return FormatMessage(ConnectFailureFormat(cause, true), {text, tried, named});
}

// The driver's text with a line of ours, each ending with a line break: the driver's first in
// English, ours first in a translation that prefers it.
std::string DriverTextAndLine(const std::string& driverText, const std::string& line) {
    const std::string separator = driverText.empty() || driverText.back() == '\n' ? "" : "\n";
    return FormatMessage(TrContext("the driver's text, then our line", "%1%2"),
                         {driverText + separator, line});
}

std::string ExplainStatementFailure(const CDBException& e, const std::string& table,
                                    const std::string& connect, const CTargetKind& kind) {
    if (std::string refusal = kind.ExplainRefusal(e, connect); !refusal.empty()) {
        return refusal;
    }
    const std::string& driverText = e.GetErrorMessage();
    std::string line;
    switch (ClassifyTargetFailure(e, kind)) {
        case TargetFailureKind::MissingTable:
            line = kind.MissingTableLine(table, connect);
            break;
        case TargetFailureKind::LockOrTimeout:
            line = kind.LockedLine(connect);
            break;
        case TargetFailureKind::Connection:
        case TargetFailureKind::Other:
            break;
    }
    if (line.empty()) {
        return driverText;
    }
    return DriverTextAndLine(driverText, line);
}

namespace {

// The server ended the session itself: 57P01 (a shutdown, or a terminated backend) and 57P02
// (a crash shutdown), by state where the driver passes it on, else by the server's message,
// which psqlODBC may put under a state of its own (in the server's language: lc_messages).
bool IsSessionEnded(const CDiagnosticRecord& record) {
    if (record.state == "57P01" || record.state == "57P02") {
        return true;
    }
    for (const char* text : {"terminating connection due to administrator command",
                             "管理者コマンドにより接続を終了しています",
                             "terminating connection because of crash of another server process"}) {
        if (record.message.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

ServerTrouble ServerTroubleOf(const CRunOutcome& outcome) {
    if (outcome.status != CRunOutcome::Status::Failed) {
        return ServerTrouble::None;
    }
    if (outcome.noAnswer) {
        return ServerTrouble::NoAnswer;
    }
    if (!outcome.error) {
        return ServerTrouble::None;
    }
    try {
        std::rethrow_exception(outcome.error);
    } catch (const CDBException& e) {
        // Lost once the run was under way: a connection that could not be made in the first
        // place has words of its own (ExplainConnectFailure).
        const bool underWay = dynamic_cast<const CConnectionLost*>(&e) != nullptr ||
                              outcome.table.has_value() || outcome.inCommit;
        if (!underWay) {
            return ServerTrouble::None;
        }
        for (const CDiagnosticRecord& record : e.Records()) {
            if (IsSessionEnded(record)) {
                return ServerTrouble::Ended;
            }
        }
        if (dynamic_cast<const CConnectionLost*>(&e) != nullptr ||
            ClassifyTargetFailure(e, "") == TargetFailureKind::Connection) {
            return ServerTrouble::Lost;
        }
    } catch (...) {
    }
    return ServerTrouble::None;
}
