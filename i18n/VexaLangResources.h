#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Stands in for a module's RCDATA resources: named byte blocks, names compared without
// regard to ASCII case.
class TResourceModule {
public:
    void AddResource(const std::string& name, std::vector<std::uint8_t> bytes);
    // nullptr when the module has no resource of that name.
    const std::vector<std::uint8_t>* FindResource(const std::string& name) const;

private:
    std::map<std::string, std::vector<std::uint8_t>> Resources; // by upper-case name
};

// The program's own module; it holds the built-in constants stream "VEXALANG_CONSTS".
const TResourceModule& ProgramModule();

inline constexpr const char* ConstantsResourceName = "VEXALANG_CONSTS";
