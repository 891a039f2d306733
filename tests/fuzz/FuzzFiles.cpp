#include "FuzzFiles.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fuzz {

namespace {

// Removes the files a run made when the fuzzer exits.
struct TMadeFiles {
    ~TMadeFiles() {
        for (const std::string& path : Paths)
            std::remove(path.c_str());
    }
    void Add(const std::string& path) {
        for (const std::string& known : Paths)
            if (known == path)
                return;
        Paths.push_back(path);
    }
    std::vector<std::string> Paths;
};

std::string PrivatePath(const std::string& stem, const char* extension) {
    static TMadeFiles made;
    std::string path = (std::filesystem::temp_directory_path() /
                        ("quorvex-fuzz-" + std::to_string(::getpid()) + "-" + stem + extension))
                           .string();
    made.Add(path);
    return path;
}

} // namespace

std::string WriteInputFile(const char* extension, const std::uint8_t* data, std::size_t size) {
    const std::string path = PrivatePath("input", extension);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string ScratchPath(const char* extension) {
    return PrivatePath("scratch", extension);
}

} // namespace fuzz
