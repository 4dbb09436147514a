// The manifest's reader: what it takes from each section, every mistake it
// tells at its line, and the comments it keeps out of kvlsetup.dat.
#include "build/datafile.h"
#include "build/manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

Manifest Parsed(const std::string &text, Diagnostics *diagnostics, const Defines &defines = {})
{
    Manifest manifest;
    manifest.path = "m.manifest";
    manifest.folder = "/p";
    ParseManifest(text, defines, &manifest, diagnostics);
    return manifest;
}

TEST(Manifest, ReadsKeysFilesAndDefines)
{
    Diagnostics diagnostics;
    Manifest manifest = Parsed("\xEF\xBB\xBF; a comment\n"
                               "[package]\r\n"
                               "title = Orbit ${V}\n"
                               "license = lic.txt\n"
                               "license-name = Proprietary\n"
                               "fast-copy = yes\n"
                               "# another\n"
                               "[files]\n"
                               "Bin\\ORBIT.EXE = ${BIN}/orbit.exe, Replace, windows\n"
                               "DATA.KVT = /abs/data.kvt, plain\n",
                               &diagnostics, {{"V", "2"}, {"BIN", "out"}});
    EXPECT_TRUE(diagnostics.Empty());
    EXPECT_EQ(manifest.title, "Orbit 2");
    EXPECT_EQ(manifest.licence, "lic.txt");
    EXPECT_EQ(manifest.winget.licence, "Proprietary");
    EXPECT_EQ(manifest.wingetLine[3], 5);
    EXPECT_TRUE(manifest.fastCopy);
    ASSERT_EQ(manifest.files.size(), 2u);
    const ProductFile &orbit = manifest.files[0];
    EXPECT_EQ(orbit.line, 9);
    EXPECT_EQ(orbit.installed, "Bin\\ORBIT.EXE");
    EXPECT_EQ(orbit.source, "/p/out/orbit.exe");
    EXPECT_TRUE(orbit.replace && orbit.windows && !orbit.plain);
    EXPECT_EQ(manifest.files[1].source, "/abs/data.kvt");
    EXPECT_TRUE(manifest.files[1].plain);
    EXPECT_EQ(manifest.passOn, "");
}

// Every mistake the reader tells, each the only one, at its line.
TEST(Manifest, TellsEachMistakeAtItsLine)
{
    const struct {
        const char *text;
        int line;
        const char *said;
        bool whole; // else `said` is how the text starts
    } cases[] = {
        {"[package]\ntitle = a\rb\n", 2, "holds a carriage return inside the line", true},
        {"[GENERAL]\n", 1, "kvlship writes [general] itself from [package] and [files]", true},
        {"[FileList]\n", 1, "kvlship writes [filelist] itself from [package] and [files]", true},
        {"title = x\n", 1, "this line stands before any section", true},
        {"[files]\nORBIT.EXE\n", 2,
         "a file line reads: installed path = source file [, plain] [, replace] [, windows]", true},
        {"[files]\nA.EXE = ${BIN}/a.exe\n", 2, "${BIN} has no value: give it with -D BIN=...",
         true},
        {"[files]\nA.EXE = ${BIN/a.exe\n", 2, "${${BIN/a.exe} has no value", false},
        {"[files]\nA.EXE = a.exe, zipped\n", 2,
         "unknown option \"zipped\" (plain, replace or windows)", true},
        {"[package]\n\ntitle = ${T}\n", 3, "${T} has no value: give it with -D T=...", true},
        {"[package]\nfast-copy = maybe\n", 2, "fast-copy is yes or no", true},
        {"[package]\ncolour = red\n", 2, "unknown [package] key \"colour\" (title, licence, ",
         false},
        {"[package]\ntitle = t\ncodepage = 9999\n", 3,
         "codepage 9999 is not a code page this tool converts to (1252, 1250, ...)", true},
        {"[package]\ncodepage = 1252\ntitle = \xCE\xA9\n", 3, "the title ", false},
        {"[PRODUCT]\ncbFolder = \xCE\xA9\n", 2, "the line ", false},
    };
    for (const auto &test : cases) {
        Diagnostics diagnostics;
        Parsed(test.text, &diagnostics);
        ASSERT_EQ(diagnostics.All().size(), 1u) << test.text;
        const Diagnostic &told = diagnostics.All()[0];
        EXPECT_EQ(told.severity, Severity::Error) << test.text;
        EXPECT_EQ(told.place, "m.manifest:" + std::to_string(test.line)) << test.text;
        if (test.whole)
            EXPECT_EQ(told.text, test.said);
        else
            EXPECT_EQ(told.text.rfind(test.said, 0), 0u) << told.text;
    }
}

TEST(Manifest, UnreadableFileIsToldAtTheManifest)
{
    Manifest manifest;
    Diagnostics diagnostics;
    EXPECT_FALSE(ReadManifest("/nonexistent/m.manifest", {}, &manifest, &diagnostics));
    ASSERT_EQ(diagnostics.All().size(), 1u);
    EXPECT_EQ(diagnostics.All()[0].place, "/nonexistent/m.manifest");
    EXPECT_EQ(diagnostics.All()[0].text, "cannot be read");
}

// A comment in a section passed on is the manifest's, not a key of the data file's.
TEST(Manifest, CommentsStayOutOfTheDataFile)
{
    Diagnostics diagnostics;
    Manifest manifest = Parsed("[package]\ntitle = Orbit\n"
                               "[PRODUCT]\ncbFolder = Orbit\n; cbConflict = ask\n"
                               "  # the group's\n\n[GROUP]\ncbName = Orbit\n",
                               &diagnostics);
    EXPECT_TRUE(diagnostics.Empty());
    EXPECT_EQ(manifest.passOn, "\r\n[PRODUCT]\r\ncbFolder = Orbit\r\n\r\n[GROUP]\r\ncbName = "
                               "Orbit\r\n");
    std::string data = DataFileText(manifest, &diagnostics);
    EXPECT_EQ(data.find("cbConflict"), std::string::npos) << data;
    EXPECT_EQ(data.find('#'), std::string::npos) << data;
}

} // namespace
