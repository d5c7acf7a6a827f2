#include "migration/target/TargetConnect.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/EmbeddedTargetFile.h"
#include "migration/target/FreeTdsConnection.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/StandardQuoting.h"
#include "migration/target/TargetFailure.h"

CResolvedTarget TargetToOpen(const std::optional<CResolvedTarget>& resolved,
                             const std::string& connect) {
    return resolved ? *resolved : ResolveTarget(connect);
}

void ConnectToTarget(CDatabase& database, const CResolvedTarget& target) {
    if (!target.embeddedFile.empty()) {
        EnsureEmbeddedTargetFile(target.embeddedFile, ShippedFile("schema/sqlite.sql"));
    }
    try {
        ConnectWithStandardQuoting(database, WithFreeTdsLogin(target.connection));
    } catch (const CDBException& e) {
        throw CDBException(
            ExplainConnectFailure(e.GetErrorMessage(), target.connection, target.description),
            e.Records());
    }
}
