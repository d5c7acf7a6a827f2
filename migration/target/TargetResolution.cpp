#include "migration/target/TargetResolution.h"

#include <odbcinst.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/RunSettings.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/UserDataSources.h"

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) {
            home = user->pw_dir;
        }
    }
    return home;
}

// Asks unixODBC, which reads the user's and the system's files of that kind ("ODBCINST.INI":
// the driver lists; "ODBC.INI": the data sources), whether a section of that name exists.
bool HasSection(const char* name, const char* kind) {
    char keys[256] = "";
    return SQLGetPrivateProfileString(name, nullptr, "", keys, sizeof keys, kind) > 0 &&
           keys[0] != '\0';
}

std::string DataSourceValue(const char* key) {
    char value[512] = "";
    SQLGetPrivateProfileString(kTargetDataSource, key, "", value, sizeof value, "ODBC.INI");
    return value;
}

// "DSN Pomvale01 (driver …, server …, port …, database …)" from the data source's own entries.
std::string DescribeDataSource() {
    struct Shown {
        const char* label;
        const char* keys[2];  // the first one set is shown
    };
    constexpr Shown kShown[] = {{"driver", {"Driver", nullptr}},
                                {"server", {"Servername", "Server"}},
                                {"port", {"Port", nullptr}},
                                {"database", {"Database", nullptr}}};
    std::string details;
    for (const Shown& shown : kShown) {
        for (const char* key : shown.keys) {
            if (const std::string value = key ? DataSourceValue(key) : ""; !value.empty()) {
                details += (details.empty() ? "" : ", ") + std::string(shown.label) + " " + value;
                break;
            }
        }
    }
    return std::string("DSN ") + kTargetDataSource + (details.empty() ? "" : " (" + details + ")");
}

std::string ProfileValue(const std::string& section, const char* key, const char* kind) {
    char value[1024] = "";
    SQLGetPrivateProfileString(section.c_str(), key, "", value, sizeof value, kind);
    return value;
}

bool NamesSqlite(const std::string& text) {
    return AsciiLower(text).find("sqlite") != std::string::npos;
}

}  // namespace

std::string EmbeddedTargetPath(const CTargetFacts& facts) {
    std::filesystem::path data(facts.xdgDataHome);
    if (!data.is_absolute()) {
        if (!std::filesystem::path(facts.home).is_absolute()) {
            throw CDBException(
                Tr("The per-user target file has no place: neither XDG_DATA_HOME nor HOME names "
                   "an absolute folder."));
        }
        data = std::filesystem::path(facts.home) / ".local/share";
    }
    return (data / "brimlow/Pomvale01").lexically_normal().string();
}

CResolvedTarget ResolveBuiltInTarget(const CTargetFacts& facts) {
    if (facts.bDataSourceDefined) {
        return {std::string("DSN=") + kTargetDataSource, {}, facts.dataSourceDescription};
    }
    if (facts.bSystemRegistersSqlServer) {
        return {kTargetConnection, {}, DescribeTarget(kTargetConnection)};
    }
    const std::string file = EmbeddedTargetPath(facts);
    if (file.find_first_of(";{}") != std::string::npos) {
        throw CDBException(
            TrFormat("The per-user target file %1 cannot be reached: its path holds ';', '{' or "
                     "'}'. Set XDG_DATA_HOME to a folder without them.",
                     {file}));
    }
    const unsigned timeoutMs = kEmbeddedLockWaitSeconds * 1000 / 2;
    return {"Driver=" + facts.shippedDriver + ";Database=" + file +
                ";Timeout=" + std::to_string(timeoutMs),
            file, file};
}

CTargetFacts GatherTargetFacts() {
    ProtectUserDataSources();
    CTargetFacts facts;
    facts.bDataSourceDefined = HasSection(kTargetDataSource, "ODBC.INI");
    if (facts.bDataSourceDefined) {
        facts.dataSourceDescription = DescribeDataSource();
        return facts;
    }
    facts.bSystemRegistersSqlServer = HasSection(BuiltInDriverName().c_str(), "ODBCINST.INI");
    if (!facts.bSystemRegistersSqlServer) {
        facts.xdgDataHome = Environment("XDG_DATA_HOME");
        facts.home = HomeFolder();
        facts.shippedDriver = ShippedSqlServerDriver();
    }
    return facts;
}

CResolvedTarget ResolveTarget(const std::string& connect) {
    // A data source named in the string is looked up by the driver manager.
    ProtectUserDataSources();
    if (connect != kTargetConnection) {
        if (const std::string problem = ConnectionStringProblem(connect); !problem.empty()) {
            throw CDBException(problem);
        }
        return {connect, {}, DescribeTarget(connect)};
    }
    return ResolveBuiltInTarget(GatherTargetFacts());
}

std::string TargetFile(const CResolvedTarget& target) {
    if (!target.embeddedFile.empty()) {
        return target.embeddedFile;
    }
    const CConnectionAttributes attributes = ParseConnectionString(target.connection);
    std::string driver = ConnectionAttribute(attributes, "driver");
    std::string database = ConnectionAttribute(attributes, "database");
    if (const std::string dsn = ConnectionAttribute(attributes, "dsn");
        driver.empty() && !dsn.empty()) {
        driver = ProfileValue(dsn, "Driver", "ODBC.INI");
        database = database.empty() ? ProfileValue(dsn, "Database", "ODBC.INI") : database;
    }
    const bool bSqlite =
        NamesSqlite(driver) ||
        (!driver.empty() && NamesSqlite(ProfileValue(driver, "Driver", "ODBCINST.INI")));
    return bSqlite ? database : std::string();
}

std::string DescribeTargetInUse(const std::string& connect) {
    try {
        return ResolveTarget(connect).description;
    } catch (const CException& e) {
        return e.GetErrorMessage();
    }
}

std::string DescribeBuiltInTarget() {
    return "移行先: " + JapaneseTargetName(DescribeTargetInUse(kTargetConnection));
}
