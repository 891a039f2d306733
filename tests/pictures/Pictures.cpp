// Pictures of the program's forms in each language, for a person to look at: not a check, and
// not run by ctest. Run by hand under a display (or Xvfb):
//   ASAN_OPTIONS=detect_leaks=0 xvfb-run -a build/test/tests/pictures/quorvex_pictures FOLDER
// (the display's D-Bus library leaks a buffer that the sanitized build reports at exit)
// writes the PNG files into FOLDER. The pictures are made with the tests' own fixtures, so
// GoogleTest runs them.
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <system_error>

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s FOLDER [GoogleTest options]\n", argv[0]);
        return 2;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }
    ::setenv("QUORVEX_PICTURES", folder.c_str(), 1);
    // The demo image, the program's files and the language files lie beside the tool, and the
    // emulation opens its image from the current folder.
    std::filesystem::current_path(std::filesystem::canonical("/proc/self/exe").parent_path());
    argv[1] = argv[0];
    int count = argc - 1;
    ::testing::InitGoogleTest(&count, argv + 1);
    return RUN_ALL_TESTS();
}
