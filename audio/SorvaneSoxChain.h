#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One libsox effects chain over interleaved signed 16-bit audio: a source that fills sample
// blocks from memory, the effects added, and a target that takes the result block by block.
// Every libsox result is checked; a refusal throws ESorvaneError with libsox's own message.
// libsox keeps process-wide state that is not safe for two chains at once, so only one
// chain may exist at a time (TSorvaneConversion serialises them).
class TSorvaneSoxChain {
public:
    // Fills at most capacity samples (whole frames) and gives the count; 0 ends the input.
    using TFill = std::function<std::size_t(std::int16_t* samples, std::size_t capacity)>;
    // Takes count samples (whole frames); false stops the flow.
    using TTake = std::function<bool(const std::int16_t* samples, std::size_t count)>;

    enum class TFlowEnd { Completed, Stopped };

    // Initialises libsox once per process. Throws for channels outside 1 to MaxChannels or a
    // rate outside MinRate to MaxRate.
    TSorvaneSoxChain(std::uint16_t channels, std::uint32_t inputRate, std::uint32_t outputRate);
    ~TSorvaneSoxChain();
    TSorvaneSoxChain(const TSorvaneSoxChain&) = delete;
    TSorvaneSoxChain& operator=(const TSorvaneSoxChain&) = delete;

    static constexpr std::uint16_t MaxChannels = 16;
    static constexpr std::uint32_t MinRate = 1000;
    static constexpr std::uint32_t MaxRate = 384000;

    // In this order: the source, the effects, the target.
    void AddSource(TFill fill);
    void AddEffect(const std::string& name, const std::vector<std::string>& options);
    void AddTarget(TTake take);

    // Runs until the input ends and everything is drained (Completed), or until the target,
    // an exception in a callback or the stop predicate ends it early (Stopped). Throws when
    // libsox fails or a callback threw.
    TFlowEnd Flow(const std::function<bool()>& stopRequested);

    std::uint16_t GetChannels() const { return Channels; }

    // Bridges for the C callbacks; not for other callers.
    std::size_t FillFromSource(std::int32_t* samples, std::size_t capacity);
    bool TakeIntoTarget(const std::int32_t* samples, std::size_t count);
    bool StopWanted();

private:
    struct TSoxState;

    void AddChainEffect(void* effect, const std::string& name);

    std::uint16_t Channels;
    std::unique_ptr<TSoxState> Sox; // signal, encodings and the chain itself
    TFill Fill;
    TTake Take;
    const std::function<bool()>* StopPredicate = nullptr;
    std::vector<std::int16_t> Scratch;
    std::string CallbackError; // what a callback threw, reported by Flow
    bool TargetStopped = false;
};
