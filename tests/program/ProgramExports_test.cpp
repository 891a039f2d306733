#include <cstring>
#include <elf.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

// The program exports the recorder's factory and the watermark's four functions with C
// linkage, for tools that load them from the program: each must stand in the program's
// dynamic symbol table as a defined global function.
namespace {

// Reads a record at a file offset; false when the file ends before it.
template <typename T> bool ReadAt(std::ifstream& file, std::uint64_t offset, T& out) {
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(&out), sizeof(T));
    return file.gcount() == static_cast<std::streamsize>(sizeof(T));
}

// The names of the defined global functions in the ELF64 file's .dynsym.
std::set<std::string> ExportedFunctions(std::ifstream& file) {
    std::set<std::string> names;
    Elf64_Ehdr header{};
    if (!ReadAt(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (!ReadAt(file, header.e_shoff + i * sizeof(Elf64_Shdr), sections[i]))
            return names;
    for (const Elf64_Shdr& table : sections) {
        if (table.sh_type != SHT_DYNSYM || table.sh_link >= sections.size())
            continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        for (std::uint64_t at = 0; at + sizeof(Elf64_Sym) <= table.sh_size;
             at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol{};
            if (!ReadAt(file, table.sh_offset + at, symbol))
                break;
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC ||
                ELF64_ST_BIND(symbol.st_info) != STB_GLOBAL || symbol.st_shndx == SHN_UNDEF ||
                symbol.st_name >= strings.sh_size)
                continue;
            char name[64] = {};
            file.clear();
            file.seekg(static_cast<std::streamoff>(strings.sh_offset + symbol.st_name));
            file.read(name, sizeof name - 1);
            names.insert(name);
        }
    }
    return names;
}

TEST(ProgramExports, TheRecorderFactoryAndAllFourWatermarkFunctions) {
    std::ifstream program(QUORVEX_PROGRAM_FILE, std::ios::binary);
    ASSERT_TRUE(program.is_open()) << QUORVEX_PROGRAM_FILE;
    const std::set<std::string> exported = ExportedFunctions(program);
    for (const char* name : {"CreateRecorder", "DestroyRecorder", "mrk_Init", "mrk_Process",
                             "mrk_GetAddInfo", "mrk_Check"})
        EXPECT_EQ(exported.count(name), 1u) << name << " is not exported";
}

} // namespace
