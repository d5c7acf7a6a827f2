#include "migration/target/ConnectionString.h"

#include <odbcinst.h>

#include <initializer_list>
#include <string_view>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Translate.h"
#include "migration/RunSettings.h"

namespace {

// The attributes of connect, keys as written (leading blanks dropped) or in lower case.
CConnectionAttributes ParseAttributes(const std::string& connect, bool bLowerKeys) {
    CConnectionAttributes attributes;
    size_t pos = 0;
    while (pos < connect.size()) {
        const size_t equals = connect.find('=', pos);
        if (equals == std::string::npos) {
            break;
        }
        std::string key = connect.substr(pos, equals - pos);
        if (bLowerKeys) {
            key = AsciiLower(std::move(key));
        }
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

// Keys that the drivers read as one: the later or the earlier of the two wins, depending on
// the driver. Any other key stands for itself.
constexpr const char* kSynonyms[][3] = {{"server", "servername", nullptr},
                                        {"uid", "username", "user"},
                                        {"pwd", "password", nullptr},
                                        {"database", "dbq", nullptr},
                                        {"connsettings", "a6", nullptr}};

// The key that key (lower case, without blanks around it) stands for.
std::string CanonicalKey(std::string key) {
    key.erase(key.find_last_not_of(' ') + 1);
    for (const auto& synonyms : kSynonyms) {
        for (const char* synonym : synonyms) {
            if (synonym && key == synonym) {
                return synonyms[0];
            }
        }
    }
    return key;
}

// The value of key in the entry of the data source dsn (odbc.ini); "" when there is none.
std::string DataSourceEntry(const std::string& dsn, const char* key) {
    char value[1024] = "";
    SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "ODBC.INI");
    return value;
}

}  // namespace

CConnectionAttributes ParseConnectionString(const std::string& connect) {
    return ParseAttributes(connect, true);
}

std::string RepeatedConnectionKey(const std::string& connect) {
    const CConnectionAttributes attributes = ParseAttributes(connect, false);
    for (size_t i = 0; i < attributes.size(); ++i) {
        const std::string key = CanonicalKey(AsciiLower(attributes[i].first));
        for (size_t j = i + 1; j < attributes.size(); ++j) {
            if (CanonicalKey(AsciiLower(attributes[j].first)) == key) {
                std::string first = attributes[i].first;
                std::string second = attributes[j].first;
                first.erase(first.find_last_not_of(' ') + 1);
                second.erase(second.find_last_not_of(' ') + 1);
                return AsciiLower(first) == AsciiLower(second) ? first : first + "/" + second;
            }
        }
    }
    return {};
}

std::string ConnectionStringProblem(const std::string& connect) {
    const std::string key = RepeatedConnectionKey(connect);
    if (key.empty()) {
        return {};
    }
    return TrFormat(
        "The connection string sets %1 more than once. Drivers differ in which of the "
        "values they use (some the first, some the last), so the run could reach "
        "another target than the one named; nothing was done. Give each setting once.",
        {key});
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
    const std::string dsn = ConnectionAttribute(attributes, "dsn");
    // The string's value, else its data source's: what the driver connects with.
    const auto value = [&](std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            if (std::string given = ConnectionAttribute(attributes, key); !given.empty()) {
                return given;
            }
        }
        for (const char* key : keys) {
            if (std::string entry = dsn.empty() ? std::string() : DataSourceEntry(dsn, key);
                !entry.empty()) {
                return entry;
            }
        }
        return std::string();
    };
    std::string description;
    const auto add = [&](const char* label, const std::string& shown) {
        if (!shown.empty()) {
            description += (description.empty() ? "" : ", ") + std::string(label) + " " + shown;
        }
    };
    add("DSN", dsn);
    add("driver", ConnectionAttribute(attributes, "driver"));
    add("server", value({"server", "servername"}));
    add("port", value({"port"}));
    add("database", value({"database", "dbq"}));
    return description.empty() ? "the target" : description;
}

std::string BuiltInDriverName() {
    return ConnectionAttribute(ParseConnectionString(kTargetConnection), "driver");
}

namespace {

// "driver d, server s, port n, database p" in Japanese words: the labels DescribeTarget writes,
// each value up to the next ", " that begins another label. Empty when the list does not
// begin with a label.
std::string JapaneseDetails(std::string_view list) {
    struct Label {
        std::string_view english;
        const char* japanese;
    };
    constexpr Label kLabels[] = {{"driver ", "ドライバー "},
                                 {"server ", "サーバー "},
                                 {"port ", "ポート "},
                                 {"database ", "データベース "}};
    const auto labelAt = [&](std::string_view text) -> const Label* {
        for (const Label& label : kLabels) {
            if (text.substr(0, label.english.size()) == label.english) {
                return &label;
            }
        }
        return nullptr;
    };
    std::string driver;
    std::string others;
    while (!list.empty()) {
        const Label* label = labelAt(list);
        if (label == nullptr) {
            return {};
        }
        list.remove_prefix(label->english.size());
        std::size_t end = 0;
        for (;;) {
            end = list.find(", ", end);
            if (end == std::string_view::npos || labelAt(list.substr(end + 2)) != nullptr) {
                break;
            }
            end += 2;
        }
        const std::string_view value = list.substr(0, end);
        if (label == &kLabels[0]) {
            driver = std::string(label->japanese) + std::string(value);
        } else {
            others +=
                (others.empty() ? "" : "、") + std::string(label->japanese) + std::string(value);
        }
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 2);
    }
    return others.empty() ? driver : others;
}

}  // namespace

std::string JapaneseTargetName(const std::string& description) {
    if (description == "the target") {
        return "移行先";
    }
    constexpr std::string_view kDsn = "DSN ";
    const std::string_view text(description);
    if (text.substr(0, kDsn.size()) != kDsn) {
        const std::string details = JapaneseDetails(text);
        return details.empty() ? description : details;
    }
    // "DSN name", "DSN name (details)" (a data source's own description) or "DSN name, details".
    const std::string_view rest = text.substr(kDsn.size());
    const std::size_t open = rest.find(" (");
    if (open != std::string_view::npos && rest.back() == ')') {
        const std::string details = JapaneseDetails(rest.substr(open + 2, rest.size() - open - 3));
        if (!details.empty()) {
            return std::string(rest.substr(0, open)) + "（" + details + "）";
        }
    }
    const std::size_t comma = rest.find(", ");
    if (comma != std::string_view::npos) {
        const std::string details = JapaneseDetails(rest.substr(comma + 2));
        if (!details.empty()) {
            return std::string(rest.substr(0, comma)) + "（" + details + "）";
        }
    }
    return std::string(rest);
}
