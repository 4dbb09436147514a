// The winget identity's rules: each [package] key's value by the schema of
// the package manager's manifest, and when the winget files are written.
#include "build/wingetout.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(Winget, ValuesBySchema)
{
    const std::string parts = "must be 2 to 8 parts apart by dots (Publisher.Product)";
    const std::string sizes =
        "must be 2 to 8 parts of 1 to 32 characters apart by dots (Publisher.Product)";
    const std::string address = "must be an http:// or https:// address";
    const struct {
        int key;
        const char *value;
        std::string why;
    } cases[] = {
        {0, "Orbit.Viewer", ""},
        {0, "A.B.C.D.E.F.G.H", ""},
        {0, "Orbit", parts},
        {0, "A.B.C.D.E.F.G.H.I", parts},
        {0, "Orbit..Viewer", sizes},
        {0, "Orbit.", sizes},
        {0, "Orbit.View er", "must hold no blank and none of \\ / : * ? \" < > |"},
        {0, "Orbit.View\xA0r", "must hold no blank and none of \\ / : * ? \" < > |"},
        {1, "1/2", "must hold none of \\ / : * ? \" < > |"},
        {1, "", "must be 1 to 128 characters long"},
        {2, "P", "must be 2 to 256 characters long"},
        {4, "a\tb", "holds a control character"},
        {5, "HTTPS://example.com/a.zip", ""},
        {5, "http://", address},
        {5, "ftp://example.com/a.zip", address},
    };
    for (const auto &test : cases)
        EXPECT_EQ(WhyNotWingetValue(test.key, test.value), test.why) << test.value;
    EXPECT_EQ(WhyNotWingetValue(0, std::string(15, 'a') + "." + std::string(33, 'b')), sizes);
}

Manifest WithKeys(const std::string &keys, Diagnostics *told)
{
    Manifest manifest;
    manifest.path = "m.manifest";
    ParseManifest("[package]\ntitle = Orbit\n" + keys, {}, &manifest, told);
    return manifest;
}

TEST(Winget, WrittenOnlyWithEveryKeyRight)
{
    Diagnostics told;
    Manifest some = WithKeys("id = Orbit.Viewer\nversion = 1.0\n", &told);
    EXPECT_FALSE(ReadyForWinget(&some, &told));
    ASSERT_EQ(told.All().size(), 1u);
    EXPECT_EQ(told.All()[0].severity, Severity::Warning);
    EXPECT_EQ(told.All()[0].text, "has no publisher, licence-name, description, download-url: no "
                                  "zip archive or winget manifest is written (the distribution "
                                  "folder is)");

    const std::string all = "id = Orbit.Viewer\nversion = 1.0\npublisher = Orbit Software\n"
                            "license-name = Proprietary\ndescription = Views the stars\n";
    Diagnostics good;
    Manifest ready = WithKeys(all + "download-url = https://example.com/o.zip\n", &good);
    EXPECT_TRUE(ReadyForWinget(&ready, &good));
    EXPECT_TRUE(good.Empty());
    EXPECT_EQ(ready.winget.name, "Orbit");
    EXPECT_EQ(WingetWrites(ready), (std::vector<std::string>{"kvlbuild.lst", "Orbit.Viewer-1.0.zip",
                                                             "Orbit.Viewer.yaml"}));

    Diagnostics bad;
    Manifest wrong = WithKeys(all + "download-url = example.com/o.zip\n", &bad);
    EXPECT_FALSE(ReadyForWinget(&wrong, &bad));
    ASSERT_EQ(bad.All().size(), 1u);
    EXPECT_EQ(bad.All()[0].place, "m.manifest:8");
    EXPECT_EQ(bad.All()[0].text, "download-url must be an http:// or https:// address");
}

} // namespace
