// kvlship's checksums against published known answers: SHA-256 (FIPS 180-2
// examples, one and two blocks, the padding at the edge of a block, a
// million bytes fed in uneven pieces) and CRC-32 (the check value of
// "123456789", also in two pieces).
#include "common/digest.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>

TEST(Sha256, KnownAnswers)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the block, a second one is padded.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Sha256Hex(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, AMillionBytesInUnevenPieces)
{
    std::string million(1000000, 'a');
    Sha256 sha;
    Sha256Init(&sha);
    for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece * 7 % 997 + 1)
        Sha256Update(&sha, million.data() + at, std::min(piece, million.size() - at));
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    std::string hex;
    for (unsigned char byte : digest) {
        char two[3];
        snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    EXPECT_EQ(hex, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Crc32, CheckValueWholeAndInPieces)
{
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("56789", 5, Crc32("1234", 4)), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
}
