#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace testsupport {

// A read callback over bytes in memory, in the shape the mark checker pulls its stream in:
// each call copies up to count bytes and returns how many it gave, 0 at the end.
inline std::function<std::int32_t(void*, std::int32_t)>
ByteStreamReader(const std::vector<std::uint8_t>& bytes) {
    auto at = std::make_shared<std::size_t>(0);
    return [&bytes, at](void* buffer, std::int32_t count) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), bytes.size() - *at);
        std::memcpy(buffer, bytes.data() + *at, n);
        *at += n;
        return static_cast<std::int32_t>(n);
    };
}

} // namespace testsupport
