#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct CommandResult {
    int exitCode = -1;  // the exit status, or 128 + signal number when a signal ended it
    std::string out;    // everything written to stdout
    std::string err;    // everything written to stderr
};

// Runs argv[0] (a path, or a name looked up in PATH) with the arguments argv, input on its
// stdin, in workdir when given, and waits for it. The exit code is reported, not judged.
// Throws std::runtime_error when the program cannot be started.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::filesystem::path& workdir = {});

}  // namespace testsupport
