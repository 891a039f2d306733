#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The raw export's conversion thread: resamples interleaved 16-bit audio to 11150 Hz with
// libsox's very-high-quality "rate" and hands the result to a callback on that thread.
// One input block is in flight at a time: Feed publishes it and returns once the conversion
// has read all of it. Every way out (end of input, a refused output, a libsox failure, a
// cancel) ends the thread, and a caller waiting in Feed is released.
class TSorvaneConversion {
public:
    enum class TState { Running, Finished, Failed, Cancelled };
    // Called on the conversion thread with whole frames; false stops the conversion.
    using TTake = std::function<bool(const std::int16_t* samples, std::size_t count)>;

    // Starts the thread and returns once libsox has set the chain up. Throws ESorvaneError
    // for a format libsox cannot convert or a chain it refuses; no thread is left then.
    TSorvaneConversion(std::uint16_t channels, std::uint32_t samplesPerSec, TTake take);
    // Cancels a conversion still running and waits for its thread.
    ~TSorvaneConversion();
    TSorvaneConversion(const TSorvaneConversion&) = delete;
    TSorvaneConversion& operator=(const TSorvaneConversion&) = delete;

    // Hands size bytes of little-endian 16-bit samples over (frames may straddle blocks) and
    // waits until the conversion has read them. False when the conversion has stopped.
    bool Feed(const std::uint8_t* data, std::size_t size);
    // End of input: waits until the rest is converted and handed out and the thread ended.
    // True when the conversion finished cleanly.
    bool Finish();
    // Stops the conversion without draining it and waits for the thread.
    void Cancel();

    TState GetState() const;
    // Why the conversion failed; empty otherwise.
    std::string GetError() const;
    // A partial frame left at the end of the input, dropped.
    std::size_t GetDroppedBytes() const;

private:
    void Run();
    std::size_t FillSamples(std::int16_t* samples, std::size_t capacity);
    std::size_t TakeFromInput(std::int16_t* samples, std::size_t capacity);
    void End(TState state, const std::string& error);
    void Join();

    const std::uint16_t Channels;
    const std::uint32_t SamplesPerSec;
    TTake Take;

    mutable std::mutex Lock;
    std::condition_variable Changed;
    // Guarded by Lock: the hand-over and the outcome.
    const std::uint8_t* InputData = nullptr;
    std::size_t InputRemaining = 0;
    bool EndOfInput = false;
    bool ChainReady = false;
    TState State = TState::Running;
    std::string Error;
    std::uint8_t Carry[2 * 16] = {}; // the start of a frame split across blocks
    std::size_t CarryBytes = 0;
    std::size_t DroppedBytes = 0;

    std::atomic<bool> StopRequested{false};
    std::thread Worker;
};
