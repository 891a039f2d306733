#pragma once

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "link/SimClock.h"
#include "link/SimMemoryRecorder.h"
#include "link/SimSpiAdapter.h"
#include "link/SpiLink.h"
#include "tests/support/TempDir.h"

// The SPI link wired to a simulated recorder over plain memory, on virtual time, in a
// folder of its own (for debug.log).
class SimLinkTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t PageSize = 2112;
    static constexpr std::uint32_t PageCount = 256;

    SimLinkTest() : Recorder(PageSize, PageCount), Sim(Recorder, Clock) {
        TSpiLinkServices services;
        services.Adapter = &Sim;
        services.NowMs = [this] { return Clock.NowMs(); };
        services.SleepMs = [this](std::uint32_t ms) { Clock.SleepMs(ms); };
        services.Console = [this](const std::string& text) { Console += text; };
        SetSpiLinkServices(services);
        for (std::size_t i = 0; i < Recorder.Flash().size(); ++i)
            Recorder.Flash()[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
    }
    ~SimLinkTest() override {
        ResetSpiLinkServices();
        SetDebugLogLevel(0);
        SetDebugLogNesting(0);
    }

    // The error code of the exchange's exception, 0 when it returned.
    static int ErrorOf(const std::function<void()>& exchange, std::string* message = nullptr) {
        try {
            exchange();
        } catch (const TERecXchange& e) {
            if (message != nullptr)
                *message = e.MessageUtf8();
            return e.ErrorCode();
        }
        return 0;
    }

    // The debug log's lines without their time stamps.
    std::vector<std::string> LogLines() const {
        std::ifstream in(Dir.File("debug.log"), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::vector<std::string> lines;
        std::string text = all.str();
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            const std::string line = text.substr(at, end - at);
            lines.push_back(line.size() > 10 ? line.substr(10) : "");
            if (end == std::string::npos)
                break;
            at = end + 2;
        }
        return lines;
    }
    // How many log lines read text, whatever their nesting.
    std::size_t CountLog(const std::string& text) const {
        std::size_t n = 0;
        for (const std::string& line : LogLines())
            n += line.substr(std::min(line.find_first_not_of(' '), line.size())) == text;
        return n;
    }

    testsupport::TTempDir Dir{/*enter=*/true};
    SimClock Clock;
    SimMemoryRecorder Recorder;
    SimSpiAdapter Sim;
    std::string Console;
};
