#include "audio/SorvaneConversion.h"

#include <algorithm>
#include <exception>

#include "audio/SorvaneError.h"
#include "audio/SorvaneSample.h"
#include "audio/SorvaneSoxChain.h"
#include "link/DebugLog.h"
#include "platform/ByteOrder.h"

namespace {

// libsox's filter tables are process-wide and unguarded: one conversion flows at a time.
std::mutex& SoxInUse() {
    static std::mutex lock;
    return lock;
}

} // namespace

TSorvaneConversion::TSorvaneConversion(std::uint16_t channels, std::uint32_t samplesPerSec,
                                       TTake take)
    : Channels(channels), SamplesPerSec(samplesPerSec), Take(std::move(take)) {
    if (channels == 0 || channels > TSorvaneSoxChain::MaxChannels)
        throw ESorvaneError("Unsupported channel count " + std::to_string(channels));
    if (!Take)
        throw ESorvaneError("The conversion has nowhere to put its output");
    try {
        Worker = std::thread([this] { Run(); });
    } catch (const std::exception& e) {
        throw ESorvaneError(std::string("The conversion thread cannot start: ") + e.what());
    }
    std::unique_lock<std::mutex> guard(Lock);
    Changed.wait(guard, [this] { return ChainReady || State != TState::Running; });
    if (State == TState::Failed) {
        const std::string error = Error;
        guard.unlock();
        Join();
        throw ESorvaneError(error);
    }
}

TSorvaneConversion::~TSorvaneConversion() {
    Cancel();
}

void TSorvaneConversion::Run() {
    std::lock_guard<std::mutex> soxGuard(SoxInUse());
    try {
        TSorvaneSoxChain chain(Channels, SamplesPerSec, SorvaneSampleRate);
        chain.AddSource([this](std::int16_t* s, std::size_t n) { return FillSamples(s, n); });
        chain.AddEffect("rate", {"-v", std::to_string(SorvaneSampleRate)});
        chain.AddTarget(Take);
        {
            std::lock_guard<std::mutex> guard(Lock);
            ChainReady = true;
        }
        Changed.notify_all();
        const auto end = chain.Flow([this] { return StopRequested.load(); });
        if (StopRequested.load())
            End(TState::Cancelled, "");
        else if (end == TSorvaneSoxChain::TFlowEnd::Stopped)
            End(TState::Failed, "The converted audio could not be written");
        else
            End(TState::Finished, "");
    } catch (const std::exception& e) {
        WriteDebugLog(std::string("Raw export conversion failed: ") + e.what());
        End(TState::Failed, e.what());
    } catch (...) {
        End(TState::Failed, "Unknown failure in the conversion");
    }
}

void TSorvaneConversion::End(TState state, const std::string& error) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        State = state;
        Error = error;
        // Whatever is still published is no longer read.
        InputData = nullptr;
        InputRemaining = 0;
    }
    Changed.notify_all();
}

std::size_t TSorvaneConversion::FillSamples(std::int16_t* samples, std::size_t capacity) {
    std::unique_lock<std::mutex> guard(Lock);
    for (;;) {
        Changed.wait(guard,
                     [this] { return InputRemaining > 0 || EndOfInput || StopRequested.load(); });
        if (StopRequested.load())
            return 0;
        if (InputRemaining == 0) {
            // End of input: a partial frame cannot be converted.
            DroppedBytes = CarryBytes;
            CarryBytes = 0;
            return 0;
        }
        const std::size_t count = TakeFromInput(samples, capacity);
        if (InputRemaining == 0) {
            InputData = nullptr;
            Changed.notify_all();
        }
        if (count > 0)
            return count;
    }
}

// Under Lock: whole frames from the carried bytes and the published block, as many as fit.
std::size_t TSorvaneConversion::TakeFromInput(std::int16_t* samples, std::size_t capacity) {
    const std::size_t frameBytes = 2u * Channels;
    const std::size_t maxFrames = capacity / Channels;
    std::size_t frames = 0;
    if (CarryBytes > 0) {
        const std::size_t needed = std::min(frameBytes - CarryBytes, InputRemaining);
        std::copy(InputData, InputData + needed, Carry + CarryBytes);
        CarryBytes += needed;
        InputData += needed;
        InputRemaining -= needed;
        if (CarryBytes < frameBytes || maxFrames == 0)
            return 0;
        for (std::size_t i = 0; i < Channels; ++i)
            samples[i] = GetI16(Carry + 2 * i);
        CarryBytes = 0;
        frames = 1;
    }
    const std::size_t wholeFrames = std::min(InputRemaining / frameBytes, maxFrames - frames);
    for (std::size_t i = 0; i < wholeFrames * Channels; ++i)
        samples[frames * Channels + i] = GetI16(InputData + 2 * i);
    InputData += wholeFrames * frameBytes;
    InputRemaining -= wholeFrames * frameBytes;
    frames += wholeFrames;
    if (InputRemaining > 0 && InputRemaining < frameBytes) {
        std::copy(InputData, InputData + InputRemaining, Carry);
        CarryBytes = InputRemaining;
        InputData += InputRemaining;
        InputRemaining = 0;
    }
    return frames * Channels;
}

bool TSorvaneConversion::Feed(const std::uint8_t* data, std::size_t size) {
    std::unique_lock<std::mutex> guard(Lock);
    if (State != TState::Running || EndOfInput || StopRequested.load())
        return false;
    if (size == 0)
        return true;
    if (data == nullptr)
        return false;
    // One block at a time, also when two writers would race.
    Changed.wait(guard, [this] { return InputRemaining == 0 || State != TState::Running; });
    if (State != TState::Running)
        return false;
    InputData = data;
    InputRemaining = size;
    Changed.notify_all();
    Changed.wait(guard, [this] {
        return InputRemaining == 0 || State != TState::Running || StopRequested.load();
    });
    const bool taken = InputRemaining == 0;
    InputData = nullptr;
    InputRemaining = 0;
    return taken && State == TState::Running;
}

bool TSorvaneConversion::Finish() {
    {
        std::unique_lock<std::mutex> guard(Lock);
        Changed.wait(guard, [this] { return InputRemaining == 0 || State != TState::Running; });
        EndOfInput = true;
    }
    Changed.notify_all();
    Join();
    return GetState() == TState::Finished;
}

void TSorvaneConversion::Cancel() {
    {
        std::lock_guard<std::mutex> guard(Lock);
        StopRequested = true;
    }
    Changed.notify_all();
    Join();
}

void TSorvaneConversion::Join() {
    if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id())
        Worker.join();
}

TSorvaneConversion::TState TSorvaneConversion::GetState() const {
    std::lock_guard<std::mutex> guard(Lock);
    return State;
}

std::string TSorvaneConversion::GetError() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Error;
}

std::size_t TSorvaneConversion::GetDroppedBytes() const {
    std::lock_guard<std::mutex> guard(Lock);
    return DroppedBytes;
}
