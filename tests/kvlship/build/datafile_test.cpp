// kvlsetup.dat as the build writes it: [GENERAL], the engine's [FILELIST]
// lines, [STORED] items, and the stock module's product identity added
// only where [PRODUCT] does not give it.
#include "build/datafile.h"

#include "build/plan.h"
#include "common/textout.h"

#include "../tempfolder.h"

#include <string>

namespace
{

class DataFile : public TempFolderTest
{
  protected:
    // `text` read, each source put in the test's folder, and planned.
    Manifest Planned(const std::string &text)
    {
        Manifest manifest;
        manifest.path = "m.manifest";
        manifest.folder = folder_;
        ParseManifest(text, {}, &manifest, &told_);
        for (const ProductFile &file : manifest.files)
            WriteWholeFile(file.source, "x");
        PlanFiles(&manifest, 128, &told_);
        return manifest;
    }
    // The data file's text from its [PRODUCT] on.
    std::string ProductOn(const std::string &text)
    {
        std::string data = DataFileText(Planned(text), &told_);
        size_t product = Lowered(data).find("[product]");
        return product == std::string::npos ? "" : data.substr(product);
    }
    Diagnostics told_;
};

TEST_F(DataFile, FileListLinesAndStoredItems)
{
    std::string data = DataFileText(Planned("[package]\ntitle = Orbit\nfast-copy = yes\n[files]\n"
                                            "My Docs\\A.TXT = a, replace\nB B.TXT = b\n"
                                            "setup.exe = c, plain\nWIN.DLL = d, windows\n"
                                            "Sub\\C.DAT = e, replace\n"),
                                    &told_);
    EXPECT_TRUE(told_.Empty());
    EXPECT_EQ(data, "[GENERAL]\r\ncbTitle=Orbit\r\ncbCodePage=1252\r\ncbFastCopy=1\r\n\r\n"
                    "[FILELIST]\r\n"
                    "cbItem00=B?B.TX_, T, , 0, 0, 0, 0;\r\n"
                    "cbItem01=WIN.DL_, L, , 1, 0, 0, 0;\r\n"
                    "cbItem02=C.DA_, T, Sub, 0, 0, 1, 0;\r\n"
                    "\r\n[STORED]\r\n"
                    "cbItem00=A.TX_|My Docs\\A.TXT|1\r\n"
                    "cbItem01=setup_2.exe|setup.exe|0\r\n"
                    "\r\n[PRODUCT]\r\ncbTitle=Orbit\r\n");
}

TEST_F(DataFile, ProductIdentityWhereProductDoesNotGiveIt)
{
    const std::string package = "[package]\ntitle = Orbit\nid = Orbit.Viewer\nversion = 1.0\n"
                                "publisher = Orbit Software\n[files]\n";
    // Its own cbTitle stays; the rest go at the end of its lines, before the
    // blank line that ends it. A key of another section counts for nothing.
    EXPECT_EQ(ProductOn(package + "[product]\ncbTitle = Own\n\n[GROUP]\ncbId = G\n"),
              "[product]\r\ncbTitle = Own\r\ncbId=Orbit.Viewer\r\ncbVersion=1.0\r\n"
              "cbPublisher=Orbit Software\r\n\r\n[GROUP]\r\ncbId = G\r\n");
    EXPECT_EQ(ProductOn(package + "[GROUP]\ncbName = G\n"),
              "[PRODUCT]\r\ncbId=Orbit.Viewer\r\ncbTitle=Orbit\r\ncbVersion=1.0\r\n"
              "cbPublisher=Orbit Software\r\n");
    // A module of the product's own gets the sections as written.
    EXPECT_EQ(ProductOn("[package]\ntitle = Orbit\nid = Orbit.Viewer\nmodule = own.dll\n"
                        "[files]\n[PRODUCT]\ncbFolder = O\n"),
              "[PRODUCT]\r\ncbFolder = O\r\n");
}

TEST_F(DataFile, AgreementHasCrlfLineEnds)
{
    Put("licence.txt", "\xEF\xBB\xBFOne\nTwo\r\n\nCaf\xC3\xA9");
    Manifest manifest = Planned("[package]\nlicence = licence.txt\n[files]\nA = a\n");
    EXPECT_EQ(AgreementText(manifest, &told_), "One\r\nTwo\r\n\r\nCaf\xE9");
    EXPECT_TRUE(told_.Empty());
    Put("licence.txt", std::string(16000, 'x'));
    AgreementText(manifest, &told_);
    ASSERT_EQ(told_.All().size(), 1u);
    EXPECT_EQ(told_.All()[0].text, "the licence is 16000 bytes with CRLF line ends; the "
                                   "agreement box holds 15999");
}

} // namespace
