#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

// A fresh folder for one test, removed afterwards. With enter the test also runs in it, so
// files the code writes to the current directory ("debug.log") stay apart from other tests.
class TTempDir {
public:
    explicit TTempDir(bool enter = false) {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-XXXXXX").string();
        Path = mkdtemp(pattern.data());
        if (enter) {
            Previous = std::filesystem::current_path();
            std::filesystem::current_path(Path);
        }
    }
    ~TTempDir() {
        if (!Previous.empty())
            std::filesystem::current_path(Previous);
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string File(const std::string& name) const { return (Path / name).string(); }

    std::filesystem::path Path;

private:
    std::filesystem::path Previous;
};
