#include "screens/dialogs.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// A real edit control and a real file per test.
class AgreementText : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        edit_ = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(edit_, nullptr);
        SendMessageA(edit_, EM_SETLIMITTEXT, 0, 0);
    }
    void TearDown() override { DestroyWindow(edit_); }
    void WriteFileBytes(const std::string &bytes) { ASSERT_TRUE(testfs::WriteWhole(path_, bytes)); }
    static std::string Complemented(const std::string &text)
    {
        std::string out = text;
        for (char &c : out)
            c = static_cast<char>(~c);
        return out;
    }
    std::string Shown()
    {
        std::string text(static_cast<size_t>(GetWindowTextLengthA(edit_)) + 1, '\0');
        GetWindowTextA(edit_, &text[0], static_cast<int>(text.size()));
        text.resize(text.size() - 1);
        return text;
    }

    HWND edit_ = nullptr;
    testfs::TempTree tree_{"modlic"};
    std::string path_ = tree_ / "modlic.tx_";
};

} // namespace

TEST_F(AgreementText, BytesAreComplemented)
{
    WriteFileBytes("\x9E\x9D\x9C");
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    EXPECT_EQ(Shown(), "abc");
}

TEST_F(AgreementText, ByteFFEndsTheText)
{
    WriteFileBytes("\x9E\x9D\x9C\xFF\x9B");
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    EXPECT_EQ(Shown(), "abc");
}

TEST_F(AgreementText, EmptyFileGivesEmptyBox)
{
    SetWindowTextA(edit_, "old");
    WriteFileBytes("");
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    EXPECT_EQ(Shown(), "");
}

TEST_F(AgreementText, MissingFileLeavesBoxAlone)
{
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), -1);
    EXPECT_EQ(Shown(), "");
}

TEST_F(AgreementText, LongTextShowsItsFirst15999CharactersAndEnds)
{
    std::string text(20000, 'x');
    for (size_t i = 0; i < text.size(); i += 100)
        text[i] = 'A' + static_cast<char>((i / 100) % 26);
    WriteFileBytes(Complemented(text));
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    EXPECT_EQ(Shown(), text.substr(0, 15999));
}

TEST_F(AgreementText, TextOfExactlyTheBufferSizeStillEnds)
{
    std::string text(16000, 'y');
    text[15998] = 'Z';
    text[15999] = 'Q';
    WriteFileBytes(Complemented(text));
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    std::string shown = Shown();
    ASSERT_EQ(shown.size(), 15999u);
    EXPECT_EQ(shown.back(), 'Z');
}

TEST_F(AgreementText, LongFolderNameIsNoObstacle)
{
    // Paths of 128 characters and more are common below a user's profile.
    path_ = tree_.Folder(std::string(140, 'd')) + "\\modlic.tx_";
    WriteFileBytes("\x9E\x9D\x9C");
    EXPECT_EQ(LoadAgreementText(edit_, path_.c_str()), 1);
    EXPECT_EQ(Shown(), "abc");
}

TEST(Banner, WelcomeNoticeAndModuleId)
{
    char banner[1024];
    FormatBanner(banner, "Harbour Atlas");
    std::string text(banner);
    EXPECT_EQ(text.rfind("\n\tWELCOME TO KARVELO SETUP\n\t", 0), 0u);
    EXPECT_NE(text.find("\n\n\tMODULE ID: Harbour Atlas"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), "Harbour Atlas");
    // The notice is one line between the welcome line and the empty line.
    size_t notice = text.find("\n\t", 2) + 2;
    size_t end = text.find("\n\n\tMODULE ID: ");
    EXPECT_GT(end, notice);
    EXPECT_EQ(text.substr(notice, end - notice).find('\n'), std::string::npos);
}

TEST(Banner, LongestTitleFits)
{
    char banner[1024];
    std::string title(259, 't');
    title[3] = '%'; // a title is text, never a format
    FormatBanner(banner, title.c_str());
    EXPECT_EQ(std::string(banner).substr(std::string(banner).size() - 259), title);
}
