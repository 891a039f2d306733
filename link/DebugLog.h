#pragma once

#include <cstdint>
#include <string>

// The diagnostic log "debug.log" in the current directory. A line is written only while
// the log level is above 0; the file is opened, appended and closed for every line.
void SetDebugLogLevel(std::uint8_t level);
std::uint8_t GetDebugLogLevel();

// Each nesting level indents a line by two blanks.
std::uint8_t GetDebugLogNesting();
void SetDebugLogNesting(std::uint8_t level);

// Raises the nesting level for its lifetime and restores the previous level on every path,
// exceptions included.
class TDebugLogNesting {
public:
    TDebugLogNesting();
    ~TDebugLogNesting();
    TDebugLogNesting(const TDebugLogNesting&) = delete;
    TDebugLogNesting& operator=(const TDebugLogNesting&) = delete;

private:
    std::uint8_t Saved;
};

// Text is UTF-8, the system's 8-bit code page here.
void WriteDebugLog(const std::string& text);

// The line as WriteDebugLog writes it, without CR LF, for the given clock reading.
std::string FormatDebugLogLine(int minute, int second, int millisecond, std::uint8_t nesting,
                               const std::string& text);
