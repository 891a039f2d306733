#include "audio/SorvaneSoxChain.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sox.h>

#include "audio/SorvaneError.h"
#include "link/DebugLog.h"

namespace {

// The last failure libsox reported on this thread, for the exception that follows it.
thread_local std::string LastSoxFailure;

void ReportSoxMessage(unsigned level, const char* fileName, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    if (level == 1)
        LastSoxFailure = text;
    if (level <= 2)
        WriteDebugLog(std::string("libsox ") + (fileName ? fileName : "") + ": " + text);
}

// sox_init may run only once per process: a second call aborts inside libsox.
void InitialiseSox() {
    static std::once_flag once;
    static int result = SOX_EOF;
    std::call_once(once, [] {
        sox_get_globals()->output_message_handler = ReportSoxMessage;
        result = sox_init();
    });
    if (result != SOX_SUCCESS)
        throw ESorvaneError(std::string("libsox cannot start: ") + sox_strerror(result));
}

std::string Failure(const std::string& what) {
    std::string text = what;
    if (!LastSoxFailure.empty())
        text += ": " + LastSoxFailure;
    LastSoxFailure.clear();
    return text;
}

sox_sample_t FromInt16(std::int16_t sample) {
    return static_cast<sox_sample_t>(sample) * 65536;
}

// Rounded to the nearest 16-bit step; a resampler overshoot past full scale is held there.
std::int16_t ToInt16(sox_sample_t sample) {
    const std::int64_t rounded = (static_cast<std::int64_t>(sample) + 32768) >> 16;
    return static_cast<std::int16_t>(rounded > 32767 ? 32767 : rounded);
}

TSorvaneSoxChain* ChainOf(sox_effect_t* effect) {
    return *static_cast<TSorvaneSoxChain**>(effect->priv);
}

int SourceDrain(sox_effect_t* effect, sox_sample_t* samples, size_t* count) {
    *count = ChainOf(effect)->FillFromSource(samples, *count);
    return *count != 0 ? SOX_SUCCESS : SOX_EOF;
}

int TargetFlow(sox_effect_t* effect, const sox_sample_t* input, sox_sample_t*, size_t* inCount,
               size_t* outCount) {
    *outCount = 0;
    if (*inCount != 0 && !ChainOf(effect)->TakeIntoTarget(input, *inCount))
        return SOX_EOF;
    return SOX_SUCCESS;
}

int FlowProgress(sox_bool, void* client) {
    return static_cast<TSorvaneSoxChain*>(client)->StopWanted() ? SOX_EOF : SOX_SUCCESS;
}

sox_effect_handler_t MakeHandler(const char* name) {
    sox_effect_handler_t handler{};
    handler.name = name;
    handler.flags = SOX_EFF_MCHAN;
    handler.priv_size = sizeof(TSorvaneSoxChain*);
    return handler;
}

const sox_effect_handler_t* SourceHandler() {
    static const sox_effect_handler_t handler = [] {
        sox_effect_handler_t h = MakeHandler("memory-source");
        h.drain = SourceDrain;
        return h;
    }();
    return &handler;
}

const sox_effect_handler_t* TargetHandler() {
    static const sox_effect_handler_t handler = [] {
        sox_effect_handler_t h = MakeHandler("block-target");
        h.flow = TargetFlow;
        return h;
    }();
    return &handler;
}

// An effect that never joined a chain: its options may have failed, so only its memory goes.
void FreeLooseEffect(sox_effect_t* effect) {
    std::free(effect->priv);
    std::free(effect);
}

} // namespace

struct TSorvaneSoxChain::TSoxState {
    sox_signalinfo_t Signal{};
    sox_encodinginfo_t Encoding{};
    sox_effects_chain_t* Chain = nullptr;
    std::uint32_t OutputRate = 0;
};

TSorvaneSoxChain::TSorvaneSoxChain(std::uint16_t channels, std::uint32_t inputRate,
                                   std::uint32_t outputRate)
    : Channels(channels), Sox(std::make_unique<TSoxState>()) {
    if (channels == 0 || channels > MaxChannels)
        throw ESorvaneError("Unsupported channel count " + std::to_string(channels));
    for (std::uint32_t rate : {inputRate, outputRate})
        if (rate < MinRate || rate > MaxRate)
            throw ESorvaneError("Unsupported sample rate " + std::to_string(rate));
    InitialiseSox();
    Sox->Signal.rate = inputRate;
    Sox->Signal.channels = channels;
    Sox->Signal.precision = 16;
    Sox->Signal.length = SOX_UNKNOWN_LEN;
    Sox->Encoding.encoding = SOX_ENCODING_SIGN2;
    Sox->Encoding.bits_per_sample = 16;
    Sox->OutputRate = outputRate;
    LastSoxFailure.clear();
    Sox->Chain = sox_create_effects_chain(&Sox->Encoding, &Sox->Encoding);
    if (Sox->Chain == nullptr)
        throw ESorvaneError(Failure("libsox cannot create an effects chain"));
}

TSorvaneSoxChain::~TSorvaneSoxChain() {
    if (Sox->Chain != nullptr)
        sox_delete_effects_chain(Sox->Chain);
}

void TSorvaneSoxChain::AddChainEffect(void* effectPointer, const std::string& name) {
    auto* effect = static_cast<sox_effect_t*>(effectPointer);
    sox_signalinfo_t out = Sox->Signal;
    out.rate = Sox->OutputRate;
    sox_signalinfo_t in = Sox->Signal;
    if (sox_add_effect(Sox->Chain, effect, &in, &out) != SOX_SUCCESS) {
        FreeLooseEffect(effect);
        throw ESorvaneError(Failure("libsox refused the effect \"" + name + "\""));
    }
    Sox->Signal = in;
    // The chain holds a copy of the effect and now owns its private data.
    std::free(effect);
}

void TSorvaneSoxChain::AddSource(TFill fill) {
    Fill = std::move(fill);
    sox_effect_t* effect = sox_create_effect(SourceHandler());
    if (effect == nullptr)
        throw ESorvaneError(Failure("libsox cannot create the source"));
    *static_cast<TSorvaneSoxChain**>(effect->priv) = this;
    AddChainEffect(effect, "memory-source");
}

void TSorvaneSoxChain::AddEffect(const std::string& name, const std::vector<std::string>& options) {
    LastSoxFailure.clear();
    const sox_effect_handler_t* handler = sox_find_effect(name.c_str());
    if (handler == nullptr)
        throw ESorvaneError("libsox has no effect \"" + name + "\"");
    sox_effect_t* effect = sox_create_effect(handler);
    if (effect == nullptr)
        throw ESorvaneError(Failure("libsox cannot create the effect \"" + name + "\""));
    std::vector<std::string> texts(options);
    std::vector<char*> arguments;
    for (std::string& text : texts)
        arguments.push_back(text.data());
    arguments.push_back(nullptr);
    if (sox_effect_options(effect, static_cast<int>(texts.size()), arguments.data()) !=
        SOX_SUCCESS) {
        FreeLooseEffect(effect);
        throw ESorvaneError(Failure("libsox refused the options of \"" + name + "\""));
    }
    AddChainEffect(effect, name);
}

void TSorvaneSoxChain::AddTarget(TTake take) {
    Take = std::move(take);
    sox_effect_t* effect = sox_create_effect(TargetHandler());
    if (effect == nullptr)
        throw ESorvaneError(Failure("libsox cannot create the target"));
    *static_cast<TSorvaneSoxChain**>(effect->priv) = this;
    AddChainEffect(effect, "block-target");
}

TSorvaneSoxChain::TFlowEnd TSorvaneSoxChain::Flow(const std::function<bool()>& stopRequested) {
    if (!Fill || !Take)
        throw ESorvaneError("The effects chain has no source or no target");
    StopPredicate = &stopRequested;
    LastSoxFailure.clear();
    const int result = sox_flow_effects(Sox->Chain, FlowProgress, this);
    StopPredicate = nullptr;
    if (!CallbackError.empty())
        throw ESorvaneError(CallbackError);
    if (TargetStopped || (stopRequested && stopRequested()))
        return TFlowEnd::Stopped;
    if (result != SOX_SUCCESS)
        throw ESorvaneError(Failure("libsox failed while converting"));
    return TFlowEnd::Completed;
}

std::size_t TSorvaneSoxChain::FillFromSource(std::int32_t* samples, std::size_t capacity) {
    if (!CallbackError.empty() || TargetStopped)
        return 0;
    const std::size_t frames = capacity / Channels;
    if (frames == 0)
        return 0;
    try {
        Scratch.resize(frames * Channels);
        std::size_t count = Fill(Scratch.data(), Scratch.size());
        if (count > Scratch.size())
            throw ESorvaneError("The source gave more samples than asked for");
        count -= count % Channels;
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = FromInt16(Scratch[i]);
        return count;
    } catch (const std::exception& e) {
        CallbackError = e.what();
    } catch (...) {
        CallbackError = "Unknown failure in the source";
    }
    return 0;
}

bool TSorvaneSoxChain::TakeIntoTarget(const std::int32_t* samples, std::size_t count) {
    if (!CallbackError.empty() || TargetStopped)
        return false;
    try {
        Scratch.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            Scratch[i] = ToInt16(samples[i]);
        if (Take(Scratch.data(), count))
            return true;
        TargetStopped = true;
    } catch (const std::exception& e) {
        CallbackError = e.what();
    } catch (...) {
        CallbackError = "Unknown failure in the target";
    }
    return false;
}

bool TSorvaneSoxChain::StopWanted() {
    return !CallbackError.empty() || TargetStopped ||
           (StopPredicate && *StopPredicate && (*StopPredicate)());
}
