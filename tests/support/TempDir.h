#pragma once

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <stdlib.h>
#include <string>

namespace testsupport {

// A fresh folder for one test, removed afterwards. With enter the test also runs in it, so
// files the code writes to the current directory ("debug.log") stay apart from other tests.
class TTempDir {
public:
    explicit TTempDir(bool enter = false) {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-XXXXXX").string();
        Path = ::mkdtemp(pattern.data());
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
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::string File(const std::string& name) const { return (Path / name).string(); }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Path),
                                                      std::filesystem::directory_iterator()));
    }

    std::filesystem::path Path;

private:
    std::filesystem::path Previous;
};

} // namespace testsupport
