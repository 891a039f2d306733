#pragma once

#include <stdexcept>
#include <string>

// The one exception class of the translation engine; it carries only its message.
class EVexaLangError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A constants or language stream that ends before its data does ("Stream read error").
class EVexaLangStreamError : public EVexaLangError {
public:
    EVexaLangStreamError() : EVexaLangError("Stream read error") {}
};
