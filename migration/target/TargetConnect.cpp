#include "migration/target/TargetConnect.h"

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/EmbeddedTargetFile.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/kinds/TargetKinds.h"

CResolvedTarget TargetToOpen(const std::optional<CResolvedTarget>& resolved,
                             const std::string& connect) {
    return resolved ? *resolved : ResolveTarget(connect);
}

const CTargetKind& ConnectToTarget(CDatabase& database, const CResolvedTarget& target,
                                   const KindNote& note) {
    if (!target.embeddedFile.empty()) {
        EnsureEmbeddedTargetFile(target.embeddedFile, ShippedFile(SqliteKind().SchemaFile()));
    }
    const CTargetKind& library = KindOfLibrary(target.connection);
    try {
        const std::string connection = library.AmendConnection(target.connection);
        database.OpenEx(connection, noOdbcDialog);
        const std::string dbmsName = database.GetDbmsName();
        const CKindChoice choice = ConfirmKind(library, dbmsName);
        if (choice.bDisagree && note) {
            note(library.Name(), dbmsName);
        }
        choice.kind->CheckSession(database);
        return *choice.kind;
    } catch (const CDBException& e) {
        throw CDBException(ExplainConnectFailure(e, target.connection, target.description),
                           e.Records());
    }
}
