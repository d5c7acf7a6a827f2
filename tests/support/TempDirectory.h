#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The folder temporary files go in: $TMPDIR, or /tmp.
std::filesystem::path TempBase();

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when the object
// goes. Throws std::runtime_error when it cannot be created.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& prefix = "brimlow");
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    ~TempDirectory();

    const std::filesystem::path& Path() const noexcept { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport
