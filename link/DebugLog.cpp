#include "link/DebugLog.h"

#include <atomic>
#include <cstdio>

#include "platform/SystemTime.h"

namespace {
std::atomic<std::uint8_t> LogLevel{0};
std::atomic<std::uint8_t> LogNesting{0};
} // namespace

void SetDebugLogLevel(std::uint8_t level) {
    LogLevel.store(level);
}
std::uint8_t GetDebugLogLevel() {
    return LogLevel.load();
}
std::uint8_t GetDebugLogNesting() {
    return LogNesting.load();
}
void SetDebugLogNesting(std::uint8_t level) {
    LogNesting.store(level);
}

TDebugLogNesting::TDebugLogNesting() : Saved(LogNesting.load()) {
    LogNesting.store(static_cast<std::uint8_t>(Saved + 1));
}

TDebugLogNesting::~TDebugLogNesting() {
    LogNesting.store(Saved);
}

std::string FormatDebugLogLine(int minute, int second, int millisecond, std::uint8_t nesting,
                               const std::string& text) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%03d ", minute, second, millisecond);
    std::string line(stamp);
    line.append(2u * nesting, ' ');
    line += text;
    return line;
}

void WriteDebugLog(const std::string& text) {
    if (LogLevel.load() == 0)
        return;
    const TSystemTime now = LocalTimeNow();
    const std::string line =
        FormatDebugLogLine(now.Minute, now.Second, now.Milliseconds, LogNesting.load(), text);
    std::FILE* file = std::fopen("debug.log", "ab");
    if (file == nullptr)
        return;
    std::fprintf(file, "%s\r\n", line.c_str());
    std::fclose(file);
}
