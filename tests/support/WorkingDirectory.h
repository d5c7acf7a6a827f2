#pragma once

#include <filesystem>

namespace testsupport {

// Makes path the process's working directory for the object's lifetime, as a user would run
// the program there (the built-in target is the file Pomvale01 in the working directory).
// Tests run one at a time, so the process-wide change is safe.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& path)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingDirectory() { std::filesystem::current_path(m_previous); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path m_previous;
};

}  // namespace testsupport
