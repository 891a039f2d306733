// Bell 202 caller ID in the multiple-data format from spandsp's ADSI transmitter (and, for
// messages a standard transmitter would not send, its FSK modulator).

#include <gtest/gtest.h>

#include "callerid/FskDemodulator.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

using norvel::TDecoderState;

TSamples FskCall(const TSamples& burst, int silenceAfterMs = 300) {
    TSamples samples = Silence(kSpanRate, 300);
    Append(samples, burst);
    Append(samples, Silence(kSpanRate, silenceAfterMs));
    return samples;
}

TEST(Fsk, CallerIdFieldsAtEveryRate) {
    const TCallerIdFields cases[] = {
        {"10011750", "5551234567", "JOHN SMITH"},
        {"", "0123456789", ""},
        {"12312359", "", "O'BRIEN-SMYTHE"},
    };
    for (const TCallerIdFields& fields : cases) {
        const std::vector<uint8_t> message = MdmfMessage(fields);
        const TSamples call = FskCall(FskCallerId(fields));
        for (const int rate : {8000, 13333, 16000, 40000}) {
            const auto state = Decode(rate, FromSpanRate(call, rate));
            const TCallerIdStatus status = StatusOf(*state);
            EXPECT_EQ(state->State, TDecoderState::FskComplete) << fields.Number << " at " << rate;
            EXPECT_EQ(status.Words[0], 1);
            EXPECT_EQ(status.Words[1], 0);
            EXPECT_EQ(status.Words[2], message[1] + 1);
            EXPECT_EQ(status.Words[3], 1); // FSK kind
            EXPECT_EQ(MessageField(status, 1), fields.DateTime);
            EXPECT_EQ(MessageField(status, 2), fields.Number);
            EXPECT_EQ(MessageField(status, 7), fields.Name);
            const std::vector<uint16_t> data(message.begin() + 2, message.end() - 1);
            EXPECT_EQ(MessageGroup(status), data) << fields.Number << " at " << rate;
        }
    }
}

TEST(Fsk, TheLastByteIsTakenWhenSilenceFollowsAtOnce) {
    const TCallerIdFields fields = {"10011750", "5551234567", "JOHN SMITH"};
    // No mark bits after the checksum's stop bit: digital silence follows directly.
    const TSamples call = FskCall(FskCallerId(fields, 1.0, 0));
    for (const int rate : {8000, 16000, 40000}) {
        const auto state = Decode(rate, FromSpanRate(call, rate));
        EXPECT_EQ(state->State, TDecoderState::FskComplete) << rate;
        EXPECT_EQ(MessageField(StatusOf(*state), 2), fields.Number);
    }
}

TEST(Fsk, QuietAndNoisyBursts) {
    const TCallerIdFields fields = {"10011750", "5551234567", "JOHN SMITH"};
    struct TCase {
        double Gain;
        double NoiseLevel; // dBm0, below -90 for none
    };
    // spandsp sends at about -14 dBm0.
    const TCase cases[] = {{0.1, -99.0}, {1.0, -35.0}, {0.3, -45.0}, {2.5, -30.0}};
    for (const TCase& c : cases) {
        TSamples call = FskCall(FskCallerId(fields, c.Gain));
        if (c.NoiseLevel > -90.0) {
            MixInto(call, WhiteNoise(static_cast<int>(call.size() / 8),
                                     static_cast<float>(c.NoiseLevel), 5));
        }
        for (const int rate : {8000, 40000}) {
            const auto state = Decode(rate, FromSpanRate(call, rate));
            EXPECT_EQ(MessageField(StatusOf(*state), 2), fields.Number)
                << "gain " << c.Gain << ", noise " << c.NoiseLevel << " at " << rate;
        }
    }
}

TEST(Fsk, AMessageOfAnotherTypeReturnsToListening) {
    // Single data message (type 0x04): refused, and DTMF afterwards is heard again.
    const std::vector<uint8_t> single = {0x04, 0x05, '1', '2', '3', '4', '5', 0x00};
    TSamples call = FskCall(FskBytes(single));
    Append(call, DtmfDigits("47", -15, 60, 60));
    Append(call, Silence(kSpanRate, 200));
    const auto state = Decode(8000, call);
    EXPECT_EQ(state->State, TDecoderState::Idle);
    EXPECT_EQ(StatusOf(*state).Words[2], 0);
    EXPECT_EQ(DigitText(StatusOf(*state)), "47");
}

TEST(Fsk, TheChecksumCoversTheWholeLowByte) {
    std::vector<uint8_t> message = MdmfMessage({"", "5551234", ""});
    const auto decode = [](const std::vector<uint8_t>& bytes) {
        return Decode(8000, FskCall(FskBytes(bytes)));
    };
    EXPECT_EQ(decode(message)->State, TDecoderState::FskComplete);
    // Off by 16: the low four bits of the sum are still 0, the byte is not.
    message.back() = static_cast<uint8_t>(message.back() + 16);
    const auto corrupted = decode(message);
    EXPECT_EQ(corrupted->State, TDecoderState::Idle);
    EXPECT_EQ(StatusOf(*corrupted).Words[2], 0);
}

TEST(Fsk, LengthByteFiveGivesSixWordsAndFiveBytes) {
    const std::vector<uint8_t> message = {
        0x80, 0x05, 0x02, 0x03,
        '7',  '8',  '9',  static_cast<uint8_t>(-(0x80 + 5 + 2 + 3 + '7' + '8' + '9'))};
    const TCallerIdStatus status = StatusOf(*Decode(8000, FskCall(FskBytes(message))));
    EXPECT_EQ(status.Words[2], 6);
    EXPECT_EQ(MessageGroup(status), (std::vector<uint16_t>{0x02, 0x03, '7', '8', '9'}));
}

TEST(Fsk, ALongMessageIsTakenWholeAndClippedToTheRecord) {
    // 200 data bytes take 1.7 s on the line, longer than the 500 ms a short message gets.
    std::vector<uint8_t> message = {0x80, 200};
    for (int field = 0; field < 4; ++field) {
        message.push_back(0x07);
        message.push_back(48);
        for (int i = 0; i < 48; ++i) {
            message.push_back(static_cast<uint8_t>('A' + (field * 48 + i) % 26));
        }
    }
    uint8_t sum = 0;
    for (const uint8_t byte : message) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    message.push_back(static_cast<uint8_t>(-sum));
    ASSERT_EQ(message.size(), 203u);

    // Dialled digits first, so the digit group takes room as well.
    TSamples call = Silence(kSpanRate, 100);
    Append(call, DtmfDigits("12345", -15, 60, 60));
    Append(call, FskCall(FskBytes(message)));
    const auto state = Decode(8000, call);
    ASSERT_EQ(state->State, TDecoderState::FskComplete);
    EXPECT_EQ(state->Message.Count, 203);
    const TCallerIdStatus status = StatusOf(*state);
    EXPECT_EQ(status.Words[1], 6);
    // 3 header words, 6 digit-group words, the message kind word: 118 data bytes fit.
    EXPECT_EQ(status.Words[2], 119);
    const std::vector<uint16_t> group = MessageGroup(status);
    ASSERT_EQ(group.size(), 118u);
    EXPECT_TRUE(std::equal(group.begin(), group.end(), message.begin() + 2));
}

TEST(Fsk, PeriodClassesUseRealThresholds) {
    // At 8000 Hz a space period is 3.64 samples and a mark period 6.67.
    norvel::TFskDemodulator fsk;
    norvel::SetUpFskThresholds(fsk, 8000);
    struct TCase {
        double Period;
        uint8_t Class;
    };
    const TCase cases[] = {{2.5, 2}, {2.7, 1},  {3.64, 1}, {4.6, 1}, {5.15, 2},
                           {5.7, 0}, {6.67, 0}, {7.6, 0},  {7.8, 2}};
    for (const TCase& c : cases) {
        EXPECT_EQ(norvel::ClassifyFskPeriod(fsk, c.Period), c.Class) << c.Period;
    }
}

} // namespace
} // namespace norvel_test
