#include "common/Digest.h"
#include "common/HexText.h"

#include <gtest/gtest.h>

using namespace tolbe;

TEST(Digest, KnownVectorsWholeAndInPieces) {
    EXPECT_EQ(Sha256Hex(BytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ToHex(Sha256(BytesOf("abc"))), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");

    Sha256Stream stream;
    stream.Add(BytesOf("a"));
    stream.Add(BytesOf("bc"));
    EXPECT_EQ(stream.Finish(), Sha256(BytesOf("abc")));
    stream.Add(BytesOf("abc"));
    EXPECT_EQ(stream.Finish(), Sha256(BytesOf("abc"))) << "a finished stream starts over";
}
