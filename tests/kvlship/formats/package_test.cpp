// The single-file package as kvlship writes it, read back by the stub's own
// payload reader: the files whole, the locator and the image's checksum
// right, and the same bytes for one worker and for two.
#include "formats/package.h"

#include "common/hostfs.h"
#include "package/payload.h"

#include "../tempfolder.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{

class PackTest : public TempFolderTest
{
  protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        const char *stubPath = getenv("KVLPACK_STUB");
        ASSERT_TRUE(stubPath && ReadWholeFile(stubPath, &stub_))
            << "KVLPACK_STUB names kvlpack.exe";
    }
    // A file of `size` bytes of text runs and noise, the same for a `seed`.
    PackFile Product(const std::string &name, size_t size, unsigned seed)
    {
        std::string bytes;
        bytes.reserve(size);
        uint32_t state = seed;
        while (bytes.size() < size) {
            state = state * 1664525u + 1013904223u;
            if (state >> 30)
                bytes += "word" + std::to_string(state % 5000) + ' ';
            else
                bytes.push_back(static_cast<char>(state >> 16));
        }
        bytes.resize(size);
        std::string path = folder_ + "/" + name;
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        plain_.push_back(bytes);
        return {name, path};
    }

    std::string stub_;
    std::vector<std::string> plain_;
};

bool ReadString(void *context, uint64_t at, void *into, size_t size)
{
    auto *bytes = static_cast<const std::string *>(context);
    if (at > bytes->size() || bytes->size() - at < size)
        return false;
    memcpy(into, bytes->data() + at, size);
    return true;
}

struct Unpacked {
    std::vector<std::string> names, files;
};

bool Begin(void *context, const char *name, uint64_t)
{
    static_cast<Unpacked *>(context)->names.push_back(name);
    static_cast<Unpacked *>(context)->files.emplace_back();
    return true;
}

bool Write(void *context, const void *bytes, size_t size)
{
    static_cast<Unpacked *>(context)->files.back().append(static_cast<const char *>(bytes), size);
    return true;
}

bool End(void *)
{
    return true;
}

TEST_F(PackTest, ThePackageReadsBackWholeAndIsTheSameBytesForOneWorkerAndTwo)
{
    // More than two jobs' worth, so that two workers really split the
    // stream; an empty file; a name of odd length puts the stream at an odd
    // offset, which the image's checksum must pair right.
    std::vector<PackFile> files = {Product("A.DAT", 2 * kPackJobSize + 12345, 1),
                                   Product("EMPTY.TXT", 0, 2), Product("B.TXT", 3000001, 3)};
    PackVersion version;
    version.product = "Test";
    version.version = "1.0";
    version.fileName = "Test.exe";
    PreparedStub prepared;
    std::string why;
    ASSERT_TRUE(PrepareStub(stub_, version, &prepared, &why)) << why;
    std::string packages[2];
    for (unsigned workers : {1u, 2u}) {
        PackOptions options;
        options.level = 1; // the cut into jobs, not the level, decides the sameness
        options.workers = workers;
        PackResult result;
        std::string path = folder_ + "/Test" + std::to_string(workers) + ".exe";
        ASSERT_TRUE(WritePackageFile(prepared, files, options, path, &result, &why)) << why;
        ASSERT_TRUE(ReadWholeFile(path, &packages[workers - 1]));
        EXPECT_EQ(result.packageSize, packages[workers - 1].size());
        EXPECT_EQ(result.plainSize, 2 * kPackJobSize + 12345 + 3000001);
        EXPECT_FALSE(IsFile(path + ".partial"));
    }
    ASSERT_TRUE(packages[0] == packages[1]) << "one worker and two made different packages";

    const std::string &package = packages[0];
    uint64_t offset = 0, size = 0;
    bool older = true;
    ASSERT_TRUE(FindPayload(package, package.size(), &offset, &size, &older));
    EXPECT_FALSE(older);
    EXPECT_EQ(offset, prepared.image.size());
    EXPECT_EQ(offset + size, package.size());
    uint32_t stored;
    memcpy(&stored, package.data() + prepared.checksumAt, 4);
    EXPECT_EQ(stored, PeChecksum(package));
    std::string payload = package.substr(offset);
    PayloadSource source = {&payload, payload.size(), ReadString};
    PayloadIndex index;
    ASSERT_EQ(ReadPayloadIndex(&source, &index), PACKAGE_OK);
    EXPECT_EQ(CheckPayload(&source, &index), PACKAGE_OK);
    Unpacked unpacked;
    PayloadSink sink = {&unpacked, Begin, Write, End};
    EXPECT_EQ(UnpackPayload(&source, &index, &sink), PACKAGE_OK);
    FreePayloadIndex(&index);
    EXPECT_EQ(unpacked.names, (std::vector<std::string>{"A.DAT", "EMPTY.TXT", "B.TXT"}));
    EXPECT_TRUE(unpacked.files == plain_);
}

TEST_F(PackTest, APackageOfAnOlderKvlshipIsKnownForOneButNotRead)
{
    // A package of 32-bit sizes: its locator's old magic, offset and size.
    std::string old = stub_;
    size_t at = old.find(std::string(kLocatorMagic, sizeof kLocatorMagic));
    ASSERT_NE(at, std::string::npos);
    old[at + 7] = '1';
    const uint32_t fields[2] = {static_cast<uint32_t>(old.size()), 100};
    memcpy(&old[at + 8], fields, sizeof fields);
    old.append(100, 'p');
    uint64_t offset = 0, size = 0;
    bool older = false;
    EXPECT_TRUE(IsPackage(old)); // a build may replace it
    EXPECT_TRUE(FindPayload(old, old.size(), &offset, &size, &older));
    EXPECT_TRUE(older);
    EXPECT_EQ(offset, stub_.size());
    EXPECT_EQ(size, 100u);
    // Cut short, its payload is not found; nor is an unrelated file a package.
    EXPECT_FALSE(FindPayload(old, old.size() - 1, &offset, &size, &older));
    EXPECT_FALSE(IsPackage("MZ a program of the vendor's own"));
}

} // namespace
