#pragma once
// A private directory for one test, removed with everything in it at the end.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qx::serial::testing {

class TempDir {
  public:
    TempDir() {
        // mkdtemp replaces the six trailing X of the template.
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("qx-serial-" + std::string(6, 'X')))
                .string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes text to the file at relative path, creating the folders above it.
    std::filesystem::path Write(const std::string& relative, const std::string& text) const {
        std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace qx::serial::testing
