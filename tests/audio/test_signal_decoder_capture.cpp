// Recording for the signal check through ALSA.
#include "audio/AlsaCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

using namespace tolbe::audio;

TEST(AlsaCapture, RefusesValuesOutOfRangeBeforeTouchingADevice) {
    EXPECT_FALSE(CaptureFromAlsa("null", 0));
    EXPECT_FALSE(CaptureFromAlsa("null", -1));
    EXPECT_FALSE(CaptureFromAlsa("null", 601));
    EXPECT_FALSE(CaptureFromAlsa("null", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(CaptureFromAlsa("null", 1, 4000));
    EXPECT_FALSE(CaptureFromAlsa("null", 1, 44100, 3));
}

TEST(AlsaCapture, NamesTheDeviceThatCannotBeOpened) {
    const auto recorded = CaptureFromAlsa("tolbe-no-such-device", 0.1);
    ASSERT_FALSE(recorded);
    EXPECT_NE(recorded.Error().find("capture device \"tolbe-no-such-device\": cannot open"), std::string::npos)
        << recorded.Error();
}

TEST(AlsaCapture, RecordsTheRequestedLengthAndFormat) {
    // ALSA's null device accepts any format and hands back a recording of the asked length.
    const CapturedAudio a = CaptureFromAlsa("null", 0.2, 48000, 2).Value();
    EXPECT_EQ(a.sample_rate, 48000);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.samples.size(), 9600u * 2);
    const CapturedAudio mono = CaptureFromAlsa("null", 0.1, 44100, 1).Value();
    EXPECT_EQ(mono.samples.size(), 4410u);
}
