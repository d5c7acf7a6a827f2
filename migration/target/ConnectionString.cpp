#include "migration/target/ConnectionString.h"

#include "dbaccess/AsciiCase.h"
#include "migration/RunSettings.h"

CConnectionAttributes ParseConnectionString(const std::string& connect) {
    CConnectionAttributes attributes;
    size_t pos = 0;
    while (pos < connect.size()) {
        const size_t equals = connect.find('=', pos);
        if (equals == std::string::npos) {
            break;
        }
        std::string key = AsciiLower(connect.substr(pos, equals - pos));
        key.erase(0, key.find_first_not_of(' '));
        std::string value;
        size_t end;
        if (equals + 1 < connect.size() && connect[equals + 1] == '{') {
            const size_t close = connect.find('}', equals + 2);
            value = connect.substr(
                equals + 2, close == std::string::npos ? std::string::npos : close - equals - 2);
            end = close == std::string::npos ? connect.size() : connect.find(';', close);
        } else {
            end = connect.find(';', equals);
            value = connect.substr(equals + 1, end == std::string::npos ? end : end - equals - 1);
        }
        attributes.emplace_back(std::move(key), std::move(value));
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    return attributes;
}

std::string ConnectionAttribute(const CConnectionAttributes& attributes, const std::string& key) {
    for (const auto& [name, value] : attributes) {
        if (name == key) {
            return value;
        }
    }
    return {};
}

std::string DescribeTarget(const std::string& connect) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    std::string description;
    const auto add = [&](const char* label, const std::string& value) {
        if (!value.empty()) {
            description += (description.empty() ? "" : ", ") + std::string(label) + " " + value;
        }
    };
    add("DSN", ConnectionAttribute(attributes, "dsn"));
    add("driver", ConnectionAttribute(attributes, "driver"));
    add("server", ConnectionAttribute(attributes, "server"));
    add("server", ConnectionAttribute(attributes, "servername"));
    std::string database = ConnectionAttribute(attributes, "database");
    if (database.empty()) {
        database = ConnectionAttribute(attributes, "dbq");
    }
    add("database", database);
    return description.empty() ? "the target" : description;
}

std::string BuiltInDriverName() {
    return ConnectionAttribute(ParseConnectionString(kTargetConnection), "driver");
}
