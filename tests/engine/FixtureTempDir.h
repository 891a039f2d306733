#pragma once

#include <filesystem>
#include <stdlib.h>
#include <string>

namespace fixture {

// A fresh folder for one test, removed afterwards.
class TTempDir {
public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvex-engine-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string File(const std::string& name) const { return (Path / name).string(); }

    std::filesystem::path Path;
};

} // namespace fixture
