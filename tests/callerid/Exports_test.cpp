// The built libnorvel.so, loaded by name and bound by dlsym as the program does.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "callerid/Norvel.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

class TNorvelLibrary {
public:
    TNorvelLibrary() : Handle(dlopen(NORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (Handle != nullptr) {
            CalcConnect = reinterpret_cast<TLnCalcConnect>(dlsym(Handle, "_lnCalcConnect"));
            GetStatus = reinterpret_cast<TLnGetStatus>(dlsym(Handle, "_lnGetStatus"));
            ResetConnect = reinterpret_cast<TLnResetConnect>(dlsym(Handle, "_lnResetConnect"));
        }
    }
    ~TNorvelLibrary() {
        if (Handle != nullptr) {
            dlclose(Handle);
        }
    }
    TNorvelLibrary(const TNorvelLibrary&) = delete;
    TNorvelLibrary& operator=(const TNorvelLibrary&) = delete;

    bool Complete() const {
        return Handle != nullptr && CalcConnect != nullptr && GetStatus != nullptr &&
               ResetConnect != nullptr;
    }
    // Feeds the samples in 8192-sample blocks (16384 bytes, as the program reads them).
    void Feed(const TSamples& samples) const {
        for (size_t offset = 0; offset < samples.size(); offset += 8192) {
            const size_t count = std::min<size_t>(8192, samples.size() - offset);
            EXPECT_EQ(CalcConnect(static_cast<uint16_t>(count), samples.data() + offset), 0);
        }
    }
    TCallerIdStatus Status() const {
        TCallerIdStatus status{};
        EXPECT_EQ(GetStatus(&status), 0);
        return status;
    }

    void* Handle = nullptr;
    TLnCalcConnect CalcConnect = nullptr;
    TLnGetStatus GetStatus = nullptr;
    TLnResetConnect ResetConnect = nullptr;
};

TSamples DtmfCall(const std::string& digits) {
    TSamples samples = Silence(kSpanRate, 100);
    Append(samples, DtmfDigits(digits, -15, 60, 60));
    Append(samples, Silence(kSpanRate, 100));
    return samples;
}

TEST(NorvelExports, LoadsAndBindsExactlyTheThreeEntryPoints) {
    const TNorvelLibrary library;
    ASSERT_NE(library.Handle, nullptr) << dlerror();
    EXPECT_TRUE(library.Complete());
    // The decoder's internals stay inside the library.
    for (const char* hidden :
         {"_ZN6norvel12ResetDecoderERNS_12TNorvelStateEi",
          "_ZN6norvel14ProcessSamplesERNS_12TNorvelStateEPKsm", "_ZN12_GLOBAL__N_19g_DecoderE"}) {
        EXPECT_EQ(dlsym(library.Handle, hidden), nullptr) << hidden;
    }
}

TEST(NorvelExports, DecodesACallThroughTheExports) {
    const TNorvelLibrary library;
    ASSERT_TRUE(library.Complete());
    ASSERT_EQ(library.ResetConnect(8000), 0);
    library.Feed(DtmfCall("0123456789"));
    const TCallerIdStatus status = library.Status();
    EXPECT_EQ(status.Words[0], 2);
    EXPECT_EQ(status.Words[3], 1); // tone digits
    EXPECT_EQ(DigitText(status), "0123456789");

    // A new reset starts a new analysis.
    ASSERT_EQ(library.ResetConnect(16000), 0);
    const TCallerIdStatus cleared = library.Status();
    for (const uint16_t word : cleared.Words) {
        EXPECT_EQ(word, 0);
    }
}

TEST(NorvelExports, RefusesRatesOutsideTheRangeAndThenIgnoresSamples) {
    const TNorvelLibrary library;
    ASSERT_TRUE(library.Complete());
    struct TCase {
        int32_t Rate;
        int16_t Result;
    };
    const TCase cases[] = {{3999, 1},  {4000, 0}, {8000, 0},  {13333, 0}, {40000, 0},
                           {40001, 1}, {0, 1},    {-8000, 1}, {44100, 1}};
    for (const TCase& c : cases) {
        EXPECT_EQ(library.ResetConnect(c.Rate), c.Result) << c.Rate;
    }

    // A refused reset after a good analysis keeps neither its results nor its settings: the
    // samples that follow are ignored instead of being read at the old rate.
    ASSERT_EQ(library.ResetConnect(8000), 0);
    library.Feed(DtmfCall("123"));
    ASSERT_EQ(library.ResetConnect(44100), 1);
    library.Feed(DtmfCall("456"));
    const TCallerIdStatus status = library.Status();
    for (const uint16_t word : status.Words) {
        EXPECT_EQ(word, 0);
    }
}

TEST(NorvelExports, NullPointersAreHarmless) {
    const TNorvelLibrary library;
    ASSERT_TRUE(library.Complete());
    ASSERT_EQ(library.ResetConnect(8000), 0);
    EXPECT_EQ(library.CalcConnect(100, nullptr), 0);
    EXPECT_EQ(library.GetStatus(nullptr), 0);
    EXPECT_EQ(library.CalcConnect(0, nullptr), 0);
}

} // namespace
} // namespace norvel_test
