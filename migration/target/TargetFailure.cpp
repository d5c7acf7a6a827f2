#include "migration/target/TargetFailure.h"

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

std::string ExplainConnectFailure(const std::string& driverText, const std::string& connect,
                                  const std::string& description) {
    const std::string tried = DescribeTarget(connect);
    const std::string& named = description.empty() ? tried : description;
    if (driverText.empty()) {
        return TrFormat("Target tried: %1.\n", {tried, named});
    }
    const std::string_view text(driverText.data(),
                                driverText.size() - (driverText.back() == '\n' ? 1 : 0));
    return TrFormat("%1\nTarget tried: %2.\n", {text, tried, named});
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
    const std::string separator = driverText.empty() || driverText.back() == '\n' ? "" : "\n";
    return driverText + separator + line;
}
