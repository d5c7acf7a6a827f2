#include "tests/support/QueryRows.h"

namespace testtarget {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

}  // namespace

Rows ParseClientRows(std::string_view output) {
    Rows rows;
    if (output.empty()) {
        return rows;
    }
    // psql ends its output with a newline, sqlite3 with a row separator; values themselves
    // may end in a newline, so only one character is removed. What is left may be empty:
    // one row holding one empty text.
    if (output.back() == '\n' || output.back() == kRowSeparator[0]) {
        output.remove_suffix(1);
    }
    for (std::string_view line : Split(output, kRowSeparator[0])) {
        Row row;
        for (std::string_view field : Split(line, kFieldSeparator[0])) {
            if (field == kNullMarker) {
                row.push_back(std::nullopt);
            } else {
                row.push_back(std::string(field));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace testtarget
