#pragma once

// A recorder behind the simulated USB-to-SPI adapter, its memory an image file, installed as
// the adapter connection's services for as long as it lives. Time passes on its own clock.
#include <cstdint>
#include <string>

#include "link/SimClock.h"
#include "link/SimImageRecorder.h"
#include "link/SimSpiAdapter.h"
#include "link/SpiLink.h"

class TSimulatedAdapter {
public:
    explicit TSimulatedAdapter(const std::string& image) : Device(image), Adapter(Device, Clock) {
        TSpiLinkServices services;
        services.Adapter = &Adapter;
        services.NowMs = [this] { return Clock.NowMs(); };
        services.SleepMs = [this](std::uint32_t ms) { Clock.SleepMs(ms); };
        services.Console = [](const std::string&) {};
        SetSpiLinkServices(services);
    }
    ~TSimulatedAdapter() { ResetSpiLinkServices(); }
    TSimulatedAdapter(const TSimulatedAdapter&) = delete;
    TSimulatedAdapter& operator=(const TSimulatedAdapter&) = delete;

    SimClock Clock;
    SimImageRecorder Device;
    SimSpiAdapter Adapter;
};
