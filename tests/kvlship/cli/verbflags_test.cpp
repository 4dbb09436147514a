// Each verb's command line: its own flags into its options, the others
// refused with the reason the usage line follows.
#include "cli/verbflags.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace
{

// The arguments after the verb's name, as main() hands them on.
class Args
{
  public:
    Args(std::initializer_list<const char *> values) : text_(values.begin(), values.end())
    {
        for (std::string &value : text_)
            pointers_.push_back(&value[0]);
    }
    int count() const { return static_cast<int>(pointers_.size()); }
    char **values() { return pointers_.data(); }

  private:
    std::vector<std::string> text_;
    std::vector<char *> pointers_;
};

VerbCall Build(Args args, BuildOptions *options)
{
    return ReadBuildCall(args.count(), args.values(), "/own", options);
}

VerbCall Check(Args args, CheckCall *check)
{
    return ReadCheckCall(args.count(), args.values(), "/own", check);
}

VerbCall Try(Args args, TryOptions *options)
{
    return ReadTryCall(args.count(), args.values(), "/own", options);
}

TEST(VerbFlags, BuildTakesItsFlagsWithTheirValues)
{
    BuildOptions options;
    VerbCall call = Build({"p.manifest", "-D", "BIN=/a=b", "dist", "--jobs", "3", "--package",
                           "P.exe", "--sign", "v.pfx", "--password-file", "pw", "--timestamp",
                           "http://ts", "-D", "EMPTY="},
                          &options);
    EXPECT_EQ(call.bad, "");
    EXPECT_FALSE(call.help);
    EXPECT_EQ(options.manifest, "p.manifest");
    EXPECT_EQ(options.out, "dist");
    EXPECT_EQ(options.engine, "/own");
    ASSERT_EQ(options.defines.size(), 2u);
    EXPECT_EQ(options.defines[0], std::make_pair(std::string("BIN"), std::string("/a=b")));
    EXPECT_EQ(options.defines[1], std::make_pair(std::string("EMPTY"), std::string()));
    EXPECT_EQ(options.jobs, 3);
    EXPECT_EQ(options.package, "P.exe");
    EXPECT_EQ(options.sign.certificate, "v.pfx");
    EXPECT_EQ(options.sign.passwordFile, "pw");
    EXPECT_EQ(options.sign.timestampUrl, "http://ts");

    BuildOptions engine;
    EXPECT_EQ(Build({"p.manifest", "dist", "--engine", "/e"}, &engine).bad, "");
    EXPECT_EQ(engine.engine, "/e");
}

TEST(VerbFlags, CheckTakesItsFlagsAndKeepsSetupsModuleForAnEmptyOne)
{
    CheckCall check;
    const CheckOptions &options = check.options;
    VerbCall call = Check({"--dest", "C:\\P", "dist", "--module", "other", "--ca", "ca.pem",
                           "--codepage", "1251", "--json"},
                          &check);
    EXPECT_EQ(call.bad, "");
    EXPECT_EQ(options.distribution, "dist");
    EXPECT_EQ(options.destination, "C:\\P");
    EXPECT_EQ(options.module, "other");
    EXPECT_EQ(options.caFile, "ca.pem");
    EXPECT_EQ(options.codePage, 1251);
    EXPECT_TRUE(check.json);

    CheckCall empty;
    EXPECT_EQ(Check({"dist", "--module", "other", "--module", ""}, &empty).bad, "");
    EXPECT_EQ(empty.options.module, CheckOptions().module);
    EXPECT_FALSE(empty.json);
    EXPECT_EQ(Check({"dist", "--codepage", "42"}, &empty).bad,
              "--codepage 42: not a code page kvlship knows");
}

TEST(VerbFlags, TryTakesItsFlagsWithTheirValues)
{
    TryOptions options;
    VerbCall call =
        Try({"Setup.exe", "--work", "w", "--keep", "--module", "m", "--dest", "C:\\D", "--over",
             "old", "--win64", "--timeout", "60", "--engine", "/e", "--silent", "--json"},
            &options);
    EXPECT_EQ(call.bad, "");
    EXPECT_EQ(options.distribution, "Setup.exe");
    EXPECT_EQ(options.work, "w");
    EXPECT_EQ(options.module, "m");
    EXPECT_EQ(options.destination, "C:\\D");
    EXPECT_EQ(options.older, "old");
    EXPECT_EQ(options.timeoutSeconds, 60);
    EXPECT_EQ(options.engine, "/e");
    EXPECT_TRUE(options.keep && options.win64 && options.silent && options.json);

    TryOptions defaults;
    EXPECT_EQ(Try({"dist"}, &defaults).bad, "");
    EXPECT_EQ(defaults.engine, "/own");
    EXPECT_EQ(defaults.timeoutSeconds, 300);
    EXPECT_FALSE(defaults.keep || defaults.win64 || defaults.silent || defaults.json);
}

TEST(VerbFlags, NewTakesTheEngineAndBothArguments)
{
    Args args{"n.manifest", "files", "--engine", "/e"};
    NewOptions options;
    EXPECT_EQ(ReadNewCall(args.count(), args.values(), "/own", &options).bad, "");
    EXPECT_EQ(options.manifest, "n.manifest");
    EXPECT_EQ(options.folder, "files");
    EXPECT_EQ(options.engine, "/e");
}

TEST(VerbFlags, ACallThatCannotBeActedOnSaysWhy)
{
    BuildOptions build;
    EXPECT_EQ(Build({"p.manifest", "dist", "--jobs"}, &build).bad, "--jobs wants N after it");
    EXPECT_EQ(Build({"p.manifest", "dist", "-D", "NOVALUE"}, &build).bad,
              "-D NOVALUE: NAME=VALUE is wanted");
    EXPECT_EQ(Build({"p.manifest", "dist", "--json"}, &build).bad,
              "--json is not a flag of kvlship build");
    EXPECT_EQ(Build({"p.manifest"}, &build).bad, "kvlship build takes MANIFEST OUT");
    EXPECT_EQ(Build({"p.manifest", "dist", "--timestamp", "http://ts"}, &build).bad,
              "--password-file and --timestamp go with --sign");
    // The first refusal is the one given: the count is not checked after it.
    EXPECT_EQ(Build({"--jobs"}, &build).bad, "--jobs wants N after it");

    CheckCall check;
    EXPECT_EQ(Check({"dist", "--silent"}, &check).bad, "--silent is not a flag of kvlship check");
    EXPECT_EQ(Check({"dist", "--sign", "v.pfx"}, &check).bad,
              "--sign is not a flag of kvlship check");
    EXPECT_EQ(Check({"dist", "other"}, &check).bad, "kvlship check takes DIST");
    EXPECT_EQ(check.options.distribution, "");

    TryOptions trial;
    EXPECT_EQ(Try({"dist", "--ca", "ca.pem"}, &trial).bad, "--ca is not a flag of kvlship try");
    Args args{"n.manifest", "files", "--jobs", "2"};
    NewOptions created;
    EXPECT_EQ(ReadNewCall(args.count(), args.values(), "/own", &created).bad,
              "--jobs is not a flag of kvlship new");
}

TEST(VerbFlags, HelpWinsUnlessSomethingWasRefusedBeforeIt)
{
    BuildOptions build;
    VerbCall help = Build({"--help"}, &build);
    EXPECT_TRUE(help.help);
    EXPECT_EQ(help.bad, "");
    EXPECT_EQ(AnswerInstead(*FindVerb("build"), help), 0);
    EXPECT_TRUE(Build({"p.manifest", "-h", "--json"}, &build).help);
    VerbCall refused = Build({"--json", "--help"}, &build);
    EXPECT_FALSE(refused.help);
    EXPECT_EQ(AnswerInstead(*FindVerb("build"), refused), 2);
    // A lone "-" is an argument, not a flag.
    CheckCall check;
    VerbCall dash = Check({"-"}, &check);
    EXPECT_EQ(AnswerInstead(*FindVerb("check"), dash), -1);
    EXPECT_EQ(check.options.distribution, "-");
}

} // namespace
