#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// Just enough JSON for reference files written by other tools: one value per line. Numbers
// keep their text, so that a double is read back exactly by the test that needs it.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a string's UTF-8, or a number as written
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& key) const;
    const JsonValue& operator[](size_t index) const { return items.at(index); }
};

// Parses one JSON text. Throws std::runtime_error naming the offset where it is not JSON.
JsonValue ParseJson(std::string_view text);
