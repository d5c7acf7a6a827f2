#include "migration/TargetResolution.h"

#include <odbcinst.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "dbaccess/Exceptions.h"
#include "migration/EmbeddedTargetFile.h"
#include "migration/RunSettings.h"
#include "migration/ShippedFiles.h"

namespace {

constexpr const char kDriverName[] = "SQL Server";

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

// Asks unixODBC, which reads every driver list it knows of, whether the section exists.
bool IsDriverRegistered(const char* name) {
    char keys[256] = "";
    return SQLGetPrivateProfileString(name, nullptr, "", keys, sizeof keys, "ODBCINST.INI") > 0 &&
           keys[0] != '\0';
}

}  // namespace

std::string EmbeddedTargetPath(const CTargetFacts& facts) {
    std::filesystem::path data(facts.xdgDataHome);
    if (!data.is_absolute()) {
        if (!std::filesystem::path(facts.home).is_absolute()) {
            throw CDBException(
                "The per-user target file has no place: neither XDG_DATA_HOME nor HOME names "
                "an absolute folder.");
        }
        data = std::filesystem::path(facts.home) / ".local/share";
    }
    return (data / "brimlow/Pomvale01").lexically_normal().string();
}

CResolvedTarget ResolveBuiltInTarget(const CTargetFacts& facts) {
    if (facts.bSystemRegistersSqlServer) {
        return {kTargetConnection, {}};
    }
    const std::string file = EmbeddedTargetPath(facts);
    if (file.find_first_of(";{}") != std::string::npos) {
        throw CDBException("The per-user target file " + file +
                           " cannot be reached: its path holds ';', '{' or '}'. Set "
                           "XDG_DATA_HOME to a folder without them.");
    }
    const unsigned timeoutMs = kEmbeddedLockWaitSeconds * 1000 / 2;
    return {"Driver=" + facts.shippedDriver + ";Database=" + file +
                ";Timeout=" + std::to_string(timeoutMs),
            file};
}

CTargetFacts GatherTargetFacts() {
    CTargetFacts facts;
    facts.bSystemRegistersSqlServer = IsDriverRegistered(kDriverName);
    if (!facts.bSystemRegistersSqlServer) {
        facts.xdgDataHome = Environment("XDG_DATA_HOME");
        facts.home = HomeFolder();
        facts.shippedDriver = ShippedSqlServerDriver();
    }
    return facts;
}

std::string ResolveTargetConnection(const std::string& connect) {
    if (connect != kTargetConnection) {
        return connect;
    }
    const CResolvedTarget target = ResolveBuiltInTarget(GatherTargetFacts());
    if (!target.embeddedFile.empty()) {
        EnsureEmbeddedTargetFile(target.embeddedFile, ShippedFile("schema/sqlite.sql"));
    }
    return target.connection;
}
