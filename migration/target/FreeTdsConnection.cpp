#include "migration/target/FreeTdsConnection.h"

#include <odbcinst.h>

#include <filesystem>

#include "dbaccess/AsciiCase.h"
#include "migration/target/ConnectionString.h"

namespace {

std::string ProfileValue(const std::string& section, const char* key, const char* file) {
    char value[1024] = "";
    SQLGetPrivateProfileString(section.c_str(), key, "", value, sizeof value, file);
    return value;
}

// FreeTDS's ODBC library is libtdsodbc.so, named by path or through a registered driver name
// whose Driver entry names it.
bool IsFreeTds(const std::string& driver) {
    const auto named = [](const std::string& library) {
        const std::string name = AsciiLower(std::filesystem::path(library).filename().string());
        return name.rfind("libtdsodbc", 0) == 0;
    };
    return !driver.empty() &&
           (named(driver) || named(ProfileValue(driver, "Driver", "ODBCINST.INI")));
}

// key=value for FreeTDS's connection string parser. A value it could not carry plainly goes
// in braces, which FreeTDS ends at the first "};" or at the string's end, taking no doubled
// "}}" for one: the value is written as it is (one holding "};" cannot be carried), and
// WithFreeTdsLogin ends the string with ';' after a braced value.
std::string Attribute(const std::string& key, const std::string& value) {
    if (value.find_first_of(";{}") == std::string::npos && value.front() != ' ' &&
        value.back() != ' ') {
        return key + "=" + value;
    }
    return key + "={" + value + "};";
}

}  // namespace

std::string WithFreeTdsLogin(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    const std::string dsn = ConnectionAttribute(attributes, "dsn");
    std::string driver = ConnectionAttribute(attributes, "driver");
    if (driver.empty() && !dsn.empty()) {
        driver = ProfileValue(dsn, "Driver", "ODBC.INI");
    }
    if (!IsFreeTds(driver)) {
        return connect;
    }
    std::string added;
    const auto add = [&](const std::string& key, const std::string& value) {
        if (!value.empty()) {
            added += (added.empty() || added.back() == ';' ? "" : ";") + Attribute(key, value);
        }
    };
    const bool bHasLogin = !ConnectionAttribute(attributes, "uid").empty() ||
                           !ConnectionAttribute(attributes, "pwd").empty();
    if (!dsn.empty() && !bHasLogin) {
        add("UID", ProfileValue(dsn, "UID", "ODBC.INI"));
        add("PWD", ProfileValue(dsn, "PWD", "ODBC.INI"));
    }
    if (ConnectionAttribute(attributes, "clientcharset").empty() &&
        (dsn.empty() || ProfileValue(dsn, "ClientCharset", "ODBC.INI").empty())) {
        add("ClientCharset", "UTF-8");
    }
    if (added.empty()) {
        return connect;
    }
    const bool bEndsWithSeparator = connect.empty() || connect.back() == ';';
    return connect + (bEndsWithSeparator ? "" : ";") + added;
}
