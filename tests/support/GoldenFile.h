#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The expected statements of a golden/<name>.sql.json file: a JSON array of strings, UTF-8.

// Parses a JSON array of strings. Escapes \" \\ \/ \b \f \n \r \t and \uXXXX (surrogate
// pairs joined) become UTF-8. Throws std::runtime_error, with the byte offset, on anything
// else: another JSON value, a raw control character, a lone surrogate, trailing text.
std::vector<std::string> ParseJsonStringArray(std::string_view json);

// Reads and parses the file; throws std::runtime_error naming the file when it cannot.
std::vector<std::string> ReadGoldenStatements(const std::filesystem::path& path);
