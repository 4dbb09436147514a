// A folder of its own below /tmp for a test, removed at its end, and the
// small files a test puts in it.
#pragma once

#include "common/hostfs.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

class TempFolderTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvlbuild-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string Put(const std::string &name, const std::string &bytes = "x")
    {
        std::string path = JoinHost(folder_, name);
        EXPECT_TRUE(WriteWholeFile(path, bytes)) << path;
        return path;
    }

    std::string folder_;
};
