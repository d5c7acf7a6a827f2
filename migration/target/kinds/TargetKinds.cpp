#include "migration/target/kinds/TargetKinds.h"

#include <odbcinst.h>

#include <algorithm>
#include <filesystem>

#include "dbaccess/AsciiCase.h"
#include "migration/target/ConnectionString.h"

namespace {

std::string ProfileValue(const std::string& section, const char* key, const char* file) {
    char value[1024] = "";
    SQLGetPrivateProfileString(section.c_str(), key, "", value, sizeof value, file);
    return value;
}

// A library's file name in lower case, without its folder.
std::string LibraryName(const std::string& library) {
    return AsciiLower(std::filesystem::path(library).filename().string());
}

}  // namespace

const std::vector<const CTargetKind*>& KnownKinds() {
    // Never destroyed, as the kinds themselves are not: a statement given up at the program's
    // end may still be classifying its failure on its own thread.
    static const auto* const kinds =
        new std::vector<const CTargetKind*>{&SqliteKind(), &PostgresqlKind(), &SqlServerKind()};
    return *kinds;
}

std::string DataSourceValue(const std::string& dsn, const char* key) {
    return ProfileValue(dsn, key, "ODBC.INI");
}

const CTargetKind& KindOfLibrary(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    std::string driver = ConnectionAttribute(attributes, "driver");
    if (const std::string dsn = ConnectionAttribute(attributes, "dsn");
        driver.empty() && !dsn.empty()) {
        driver = DataSourceValue(dsn, "Driver");
    }
    if (driver.empty()) {
        return OdbcKind();
    }
    const std::string named = LibraryName(driver);
    const std::string registered = LibraryName(ProfileValue(driver, "Driver", "ODBCINST.INI"));
    for (const CTargetKind* kind : KnownKinds()) {
        if (kind->IsDriverLibrary(named) ||
            (!registered.empty() && kind->IsDriverLibrary(registered))) {
            return *kind;
        }
    }
    return OdbcKind();
}

const CTargetKind& KindOfDbms(const std::string& dbmsName) {
    for (const CTargetKind* kind : KnownKinds()) {
        if (kind->IsDbmsName(dbmsName)) {
            return *kind;
        }
    }
    return OdbcKind();
}

CKindChoice ConfirmKind(const CTargetKind& library, const std::string& dbmsName) {
    const CTargetKind& server = KindOfDbms(dbmsName);
    if (&library == &OdbcKind() || &library == &server) {
        return {&server, false};
    }
    return {&OdbcKind(), true};
}
