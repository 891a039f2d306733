#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A file of this process's own (in the temporary folder) holding the input: the parsers
// under test read files by name. The same path is reused for every input.
std::string WriteInputFile(const char* extension, const std::uint8_t* data, std::size_t size);
// A second private path with the extension, for what a target writes itself.
std::string ScratchPath(const char* extension);

} // namespace fuzz
