#include "callerid/Norvel.h"

#include "callerid/CallerIdStatus.h"
#include "callerid/NorvelDecoder.h"
#include "callerid/private/NorvelState.h"

namespace {

// The one decoder of the process; unconfigured (ignoring samples) until a valid reset.
norvel::TNorvelState g_Decoder;

} // namespace

extern "C" int16_t _lnCalcConnect(uint16_t count, const int16_t* samples) {
    if (samples != nullptr) {
        norvel::ProcessSamples(g_Decoder, samples, count);
    }
    return 0;
}

extern "C" int16_t _lnGetStatus(TCallerIdStatus* record) {
    if (record != nullptr) {
        norvel::FillCallerIdStatus(g_Decoder, *record);
    }
    return 0;
}

extern "C" int16_t _lnResetConnect(int32_t sampleRate) {
    return norvel::ResetDecoder(g_Decoder, sampleRate);
}
