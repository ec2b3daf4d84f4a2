// Recording for the signal check through ALSA.
#include "audio/AlsaCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

using namespace tolbe::audio;

TEST(AlsaCapture, RefusesValuesOutOfRangeBeforeTouchingADevice) {
    EXPECT_THROW(CaptureFromAlsa("null", 0), std::invalid_argument);
    EXPECT_THROW(CaptureFromAlsa("null", -1), std::invalid_argument);
    EXPECT_THROW(CaptureFromAlsa("null", 601), std::invalid_argument);
    EXPECT_THROW(CaptureFromAlsa("null", std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
    EXPECT_THROW(CaptureFromAlsa("null", 1, 4000), std::invalid_argument);
    EXPECT_THROW(CaptureFromAlsa("null", 1, 44100, 3), std::invalid_argument);
}

TEST(AlsaCapture, NamesTheDeviceThatCannotBeOpened) {
    try {
        CaptureFromAlsa("tolbe-no-such-device", 0.1);
        FAIL() << "no error";
    } catch (const CaptureError& e) {
        EXPECT_NE(std::string(e.what()).find("capture device \"tolbe-no-such-device\": cannot open"), std::string::npos)
            << e.what();
    }
}

TEST(AlsaCapture, RecordsTheRequestedLengthAndFormat) {
    // ALSA's null device accepts any format and hands back a recording of the asked length.
    const CapturedAudio a = CaptureFromAlsa("null", 0.2, 48000, 2);
    EXPECT_EQ(a.sample_rate, 48000);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.samples.size(), 9600u * 2);
    const CapturedAudio mono = CaptureFromAlsa("null", 0.1, 44100, 1);
    EXPECT_EQ(mono.samples.size(), 4410u);
}
