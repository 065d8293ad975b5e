#pragma once
// A fresh directory under the system's temporary folder, removed with everything in it when the
// object goes away. Tests use it as a program directory, a mirror root or a database folder.
#include <filesystem>
#include <string>

namespace zb::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The program directory the build prepared (executable, catalogue, plug-ins).
std::filesystem::path BuiltProgramDir();

}  // namespace zb::testing
