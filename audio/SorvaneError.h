#pragma once

#include <stdexcept>

// A raw export that cannot run: an unusable format, or a resampler step libsox refused.
class ESorvaneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
