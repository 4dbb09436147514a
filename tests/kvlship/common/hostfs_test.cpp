// The host's file calls as kvlship.exe makes them under Windows: a file past
// 2 GiB (sparse here, so that it costs no disk) keeps its size and its kind.
#include "common/hostfs.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

TEST(HostFiles, AFilePastTwoGiBKeepsItsSizeAndKind)
{
    const char *temp = getenv("TEMP");
    std::string path = std::string(temp ? temp : ".") + "\\kvlship-large.bin";
    const long long size = (3LL << 30) + 1;
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(_fseeki64(file, size - 1, SEEK_SET), 0);
    ASSERT_EQ(fputc('x', file), 'x');
    ASSERT_EQ(fclose(file), 0);
    EXPECT_EQ(KindOf(path), PathKind::File);
    EXPECT_EQ(FileSize(path), size);
    remove(path.c_str());
}
