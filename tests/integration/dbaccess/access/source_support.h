#pragma once

// Helpers shared by the source reader's integration tests.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoRecordset.h"
#include "dbaccess/access/jet/FieldValue.h"
#include "tests/support/Paths.h"

namespace sourcetest {

inline const std::string kPassword = ";PWD=wuzo";

// A shared fixture that stays outside the project, or nothing when it is not there.
inline std::optional<std::string> Shared(const std::string& name) {
    const auto path = testpaths::SharedFixtures(name);
    if (!std::filesystem::exists(path)) {
        return std::nullopt;
    }
    return path.string();
}

inline std::string Data(const std::string& name) {
    return testpaths::Data(name).string();
}

// Every row of a table, the named columns in the given order.
inline std::vector<std::vector<CFieldValue>> ReadRows(CDaoDatabase& db, const std::string& table,
                                                      const std::vector<std::string>& columns) {
    std::vector<std::vector<CFieldValue>> rows;
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from " + table, dbReadOnly);
    while (!rs.IsEOF()) {
        std::vector<CFieldValue> row;
        for (const auto& column : columns) {
            row.push_back(rs.GetFieldValue(column));
        }
        rows.push_back(std::move(row));
        rs.MoveNext();
    }
    rs.Close();
    return rows;
}

// The values of one column, row by row.
inline std::vector<CFieldValue> ReadColumn(CDaoDatabase& db, const std::string& table,
                                           const std::string& column) {
    std::vector<CFieldValue> values;
    for (auto& row : ReadRows(db, table, {column})) {
        values.push_back(std::move(row[0]));
    }
    return values;
}

// A folder of its own for files a test makes, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        m_path = std::filesystem::temp_directory_path() /
                 ("brimlow-source-" + std::to_string(getpid()) + "-" + std::to_string(s_count++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    std::string File(const std::string& name, const std::string& content) const {
        const auto path = m_path / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string Path(const std::string& name = {}) const { return (m_path / name).string(); }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
};

// Points BRIMLOW_VET at a stand-in for the check program while it lives.
class FakeVet {
public:
    explicit FakeVet(const std::string& script) {
        m_path = m_dir.File("fake-vet", "#!/bin/sh\n" + script + "\n");
        chmod(m_path.c_str(), 0755);
        if (const char* old = std::getenv("BRIMLOW_VET")) {
            m_old = old;
        }
        setenv("BRIMLOW_VET", m_path.c_str(), 1);
    }
    ~FakeVet() {
        if (m_old) {
            setenv("BRIMLOW_VET", m_old->c_str(), 1);
        } else {
            unsetenv("BRIMLOW_VET");
        }
    }

private:
    ScratchDir m_dir;
    std::string m_path;
    std::optional<std::string> m_old;
};

// A value as text for readable test failures: "Long -5", "Text \"it's\"", "Null".
inline std::string Describe(const CFieldValue& value) {
    std::string text = FieldTypeName(value.GetType());
    switch (value.GetType()) {
        case FieldType::Empty:
        case FieldType::Null:
            return text;
        case FieldType::Text:
            return text + " \"" + value.GetText() + "\"";
        case FieldType::Decimal:
            return text + " " + value.GetText();
        case FieldType::Single:
        case FieldType::Double:
        case FieldType::Date:
            return text + " " + std::to_string(value.GetReal());
        default:
            return text + " " + std::to_string(value.GetInteger());
    }
}

inline std::vector<std::string> Describe(const std::vector<CFieldValue>& values) {
    std::vector<std::string> texts;
    for (const auto& value : values) {
        texts.push_back(Describe(value));
    }
    return texts;
}

inline ::testing::AssertionResult StartsWith(const std::string& text, const std::string& start) {
    if (text.rfind(start, 0) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << text << "\" does not start with \"" << start << "\"";
}

inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << text << "\" does not contain \"" << part << "\"";
}

// The message of the CDaoException that action throws; an empty text (and a test failure)
// when it throws none.
template <class Action>
std::string DaoError(Action&& action) {
    try {
        action();
    } catch (const CDaoException& e) {
        return e.GetErrorMessage();
    }
    ADD_FAILURE() << "no CDaoException was thrown";
    return {};
}

}  // namespace sourcetest
