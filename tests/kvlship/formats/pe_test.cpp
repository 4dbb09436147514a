// The one PE reader's layout and the byte helpers, on images made here.
#include "common/bytes.h"
#include "formats/pe.h"
#include "formats/signing.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr size_t kHeader = 0x80, kOptional = kHeader + 24, kTable = kOptional + 224;

// A PE32 program of one section ".text" whose 0x200 bytes start at 0x200.
std::string Image()
{
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    SetBytes(&image, 0x3c, kHeader, 4);
    image.replace(kHeader, 4, std::string("PE\0\0", 4));
    SetBytes(&image, kHeader + 6, 1, 2);              // one section
    SetBytes(&image, kHeader + 20, 224, 2);           // the optional header's size
    SetBytes(&image, kOptional, 0x10b, 2);            // PE32
    SetBytes(&image, kOptional + 92, 16, 4);          // data directories
    SetBytes(&image, kOptional + 96 + 16, 0x1000, 4); // the resources' address
    image.replace(kTable, 5, ".text");
    SetBytes(&image, kTable + 8, 0x300, 4); // virtual size
    SetBytes(&image, kTable + 12, 0x1000, 4);
    SetBytes(&image, kTable + 16, 0x200, 4); // raw size
    SetBytes(&image, kTable + 20, 0x200, 4);
    return image;
}

TEST(Bytes, NumbersAreLittleEndianBothWays)
{
    std::string bytes;
    Put16(&bytes, 0x1234);
    Put32(&bytes, 0x89ABCDEF);
    Put64(&bytes, 0x0102030405060708ull);
    EXPECT_EQ(bytes, std::string("\x34\x12\xEF\xCD\xAB\x89\x08\x07\x06\x05\x04\x03\x02\x01", 14));
    EXPECT_EQ(Get16(bytes, 0), 0x1234u);
    EXPECT_EQ(Get32(bytes, 2), 0x89ABCDEFu);
    EXPECT_EQ(Get64(bytes, 6), 0x0102030405060708ull);
    SetBytes(&bytes, 0, 0xA0B0C0, 3);
    EXPECT_EQ(Get32(bytes, 0), 0xCDA0B0C0u); // the fourth byte untouched
}

TEST(PeReader, ReadsTheLayoutAndWhereTheSignatureGoes)
{
    std::string image = Image(), why;
    PeLayout pe;
    ASSERT_TRUE(ReadPeLayout(image, &pe, &why)) << why;
    EXPECT_EQ(pe.checksumAt, kOptional + 64);
    EXPECT_EQ(pe.certificateAt, kOptional + 96 + 32);
    EXPECT_EQ(pe.resourceRva, 0x1000u);
    ASSERT_EQ(pe.sections.size(), 1u);
    EXPECT_STREQ(pe.sections[0].name, ".text");
    EXPECT_EQ(pe.end, 0x400u);
    EXPECT_EQ(PeFileOffset(pe, 0x1010, 16), 0x210u);
    EXPECT_EQ(PeFileOffset(pe, 0x11F8, 16), 0u); // runs past the section's data
    EXPECT_TRUE(IsPeImage(image));
    EXPECT_FALSE(HasSignature(image));
    SetBytes(&image, kOptional + 96 + 32 + 4, 0x100, 4);
    EXPECT_TRUE(HasSignature(image));
}

TEST(PeReader, RefusesWhatIsNoWholeProgram)
{
    std::string why;
    PeLayout pe;
    std::string cut = Image().substr(0, 0x300); // the section's data runs past the end
    EXPECT_FALSE(ReadPeLayout(cut, &pe, &why));
    EXPECT_EQ(why, "is not a 32-bit Windows program");
    std::string noSignature = Image();
    noSignature[kHeader] = 'X';
    uint32_t header = 0;
    EXPECT_FALSE(FindPeHeader(noSignature, &header));
    EXPECT_FALSE(IsPeImage(noSignature));
    std::string pointsPastTheEnd = Image();
    SetBytes(&pointsPastTheEnd, 0x3c, 0x500, 4);
    EXPECT_FALSE(FindPeHeader(pointsPastTheEnd, &header));
    EXPECT_FALSE(IsPeImage(std::string("MZ")));
}

} // namespace
