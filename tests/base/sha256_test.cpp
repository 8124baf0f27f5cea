#include "base/sha256.h"

#include <gtest/gtest.h>

// The standard's "abc" example, in both forms.
TEST(Sha256Test, BothStylesSpellTheSameDigest) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abc", THexStyle::Fingerprint),
              "BA:78:16:BF:8F:01:CF:EA:41:41:40:DE:5D:AE:22:23:"
              "B0:03:61:A3:96:17:7A:9C:B4:10:FF:61:F2:00:15:AD");
    EXPECT_EQ(Sha256Hex(std::string_view("\0", 1)),
              "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d");
}
