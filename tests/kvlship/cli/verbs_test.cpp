// kvlship's verb table: the help it prints and the flags it lets through.
#include "cli/verbs.h"

#include <gtest/gtest.h>

namespace
{

TEST(Verbs, EachHelpDescribesEveryFlagItTakesAndGivesAnExample)
{
    for (const char *name : {"new", "build", "check", "try"}) {
        const Verb *verb = FindVerb(name);
        ASSERT_NE(verb, nullptr) << name;
        std::string help = VerbHelp(*verb);
        std::string usage = UsageLine(*verb);
        EXPECT_EQ(help.compare(0, usage.size(), usage), 0) << help;
        EXPECT_NE(help.find(std::string("Example:\n  kvlship ") + name + " "), std::string::npos)
            << help;
        for (const VerbFlag *flag = verb->flags; flag->name; ++flag) {
            EXPECT_NE(usage.find(std::string("[") + flag->name), std::string::npos) << usage;
            EXPECT_NE(help.find(std::string("\n  ") + flag->name), std::string::npos)
                << name << " " << flag->name;
        }
        EXPECT_NE(Overview().find(std::string("  ") + name + " " + verb->arguments),
                  std::string::npos);
    }
    EXPECT_EQ(FindVerb("sign"), nullptr);
}

TEST(Verbs, AVerbKnowsOnlyItsOwnFlags)
{
    EXPECT_NE(FindFlag(*FindVerb("check"), "--json"), nullptr);
    EXPECT_EQ(FindFlag(*FindVerb("build"), "--json"), nullptr);
    EXPECT_EQ(FindFlag(*FindVerb("check"), "--silent"), nullptr);
    EXPECT_EQ(FindFlag(*FindVerb("new"), "--jobs"), nullptr);
    EXPECT_NE(FindFlag(*FindVerb("new"), "--engine"), nullptr);
    EXPECT_EQ(FindFlag(*FindVerb("check"), "--dest")->value, std::string("DIR"));
    EXPECT_EQ(FindFlag(*FindVerb("try"), "--keep")->value, nullptr);
}

TEST(Verbs, AnArgumentOfTheWrongKindIsNamedAsWhatItIs)
{
    EXPECT_EQ(WrongKind("Setup.exe", PathKind::File, true, false, "a distribution folder"),
              "Setup.exe is a file, not a distribution folder");
    EXPECT_EQ(WrongKind("dist", PathKind::Folder, false, true, "a manifest file"),
              "dist is a folder, not a manifest file");
    EXPECT_EQ(WrongKind("gone", PathKind::Missing, true, true, "a distribution folder"),
              "gone does not exist: a distribution folder is wanted");
    EXPECT_EQ(WrongKind("fifo", PathKind::Special, true, false, "a folder"),
              "fifo is a device, FIFO or socket, not a folder");
    EXPECT_EQ(WrongKind("dist", PathKind::Folder, true, true, "x"), "");
    EXPECT_EQ(WrongKind("Setup.exe", PathKind::File, true, true, "x"), "");
}

} // namespace
