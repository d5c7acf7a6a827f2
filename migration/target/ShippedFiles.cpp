#include "migration/target/ShippedFiles.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/target/ConnectionString.h"

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The installed data folder, found from the running program's own folder so that an
// installation under another prefix works as well.
std::filesystem::path InstalledDataFolder() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    return (self.parent_path() / BRIMLOW_DATA_FROM_BINDIR).lexically_normal();
}

}  // namespace

std::filesystem::path ShippedFile(const std::string& relative) {
    const std::filesystem::path installed = InstalledDataFolder();
    std::error_code ec;
    if (!installed.empty() && std::filesystem::exists(installed / relative, ec)) {
        return installed / relative;
    }
    return std::filesystem::path(BRIMLOW_SOURCE_DATA_DIR) / relative;
}

std::string FindIniDriver(const std::string& text, const std::string& section) {
    std::istringstream lines(text);
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            inSection = line.substr(1, line.size() - 2) == section;
            continue;
        }
        const auto equals = line.find('=');
        if (inSection && equals != std::string::npos && Trim(line.substr(0, equals)) == "Driver") {
            return Trim(line.substr(equals + 1));
        }
    }
    return {};
}

std::string ShippedSqlServerDriver() {
    const std::filesystem::path list = ShippedFile("odbc/odbcinst.ini");
    std::ifstream in(list, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw CDBException(TrFormat("The driver list %1 cannot be read.", {list.string()}));
    }
    const std::string driver = FindIniDriver(text.str(), BuiltInDriverName());
    if (driver.empty()) {
        throw CDBException(
            TrFormat("The driver list %1 names no driver for \"SQL Server\".", {list.string()}));
    }
    return driver;
}
