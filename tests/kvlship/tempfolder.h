// A folder of its own below /tmp for a test, removed at its end, and the
// small files a test puts in it.
#pragma once

#include "common/hostfs.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

class TempFolderTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvlship-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Put(const std::string &name, const std::string &bytes = "x")
    {
        std::string path = JoinHost(folder_, name);
        EXPECT_TRUE(WriteWholeFile(path, bytes)) << path;
        return path;
    }

    std::string folder_;
};
