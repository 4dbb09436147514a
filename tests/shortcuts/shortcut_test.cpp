#include "shortcuts/shortcut.h"

#include "tempdir.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace
{

struct LinkInfo {
    std::string path;
    std::string arguments;
    std::string description;
    bool hasIdList = false;
};

// Reads a link back through the platform's own shell link object.
bool ReadLink(const std::string &file, LinkInfo *info)
{
    CoInitialize(nullptr);
    IShellLinkA *link = nullptr;
    bool ok = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void **>(&link)))) {
        IPersistFile *persist = nullptr;
        if (SUCCEEDED(
                link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist)))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
                char buffer[MAX_PATH] = "";
                link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
                info->path = buffer;
                buffer[0] = 0;
                link->GetArguments(buffer, sizeof buffer);
                info->arguments = buffer;
                buffer[0] = 0;
                link->GetDescription(buffer, sizeof buffer);
                info->description = buffer;
                LPITEMIDLIST list = nullptr;
                info->hasIdList = SUCCEEDED(link->GetIDList(&list)) && list;
                if (list)
                    CoTaskMemFree(list);
                ok = true;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return ok;
}

// A fresh folder for the links, with APP\APP.EXE in it as their target.
class Shortcuts : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(testfs::WriteWhole(tree_ / "APP\\APP.EXE", "")); }
    ShortcutRequest Request(const char *linkName, const char *targetFile, const char *arguments)
    {
        ShortcutRequest request = {};
        strcpy(request.description, "The application");
        strcpy(request.linkName, linkName);
        strcpy(request.linkFolder, folder_.c_str());
        strcpy(request.targetFile, targetFile);
        strcpy(request.targetFolder, target_.c_str());
        strcpy(request.arguments, arguments);
        return request;
    }
    bool Exists(const char *name)
    {
        return GetFileAttributesA((folder_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    testfs::TempTree tree_{"kvllinks"};
    const std::string folder_ = tree_.Path();
    const std::string target_ = tree_.Folder("APP");
};

} // namespace

TEST_F(Shortcuts, PathTargetWithArgumentsAndDescription)
{
    ShortcutRequest request = Request("Readme", "APP.EXE", "/demo chart.txt");
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    LinkInfo info;
    ASSERT_TRUE(ReadLink(folder_ + "\\Readme.lnk", &info));
    EXPECT_STRCASEEQ(info.path.c_str(), (target_ + "\\APP.EXE").c_str());
    EXPECT_EQ(info.arguments, "/demo chart.txt");
    EXPECT_EQ(info.description, "The application");
}

TEST_F(Shortcuts, LinkFolderWithTrailingBackslashAndFolderTarget)
{
    ShortcutRequest request = Request("Folder", "", "");
    strcat(request.linkFolder, "\\");
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    LinkInfo info;
    ASSERT_TRUE(ReadLink(folder_ + "\\Folder.lnk", &info));
    EXPECT_STRCASEEQ(info.path.c_str(), target_.c_str()); // the folder itself, no backslash added
    EXPECT_EQ(info.arguments, "");
}

TEST_F(Shortcuts, ItemIdListTargetIgnoresPathFields)
{
    LPITEMIDLIST list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &list), S_OK);
    ShortcutRequest request = Request("Ids", "NOSUCH.EXE", "");
    // Not even their terminators are looked for.
    memset(request.targetFile, 'f', sizeof request.targetFile);
    memset(request.targetFolder, 'q', sizeof request.targetFolder);
    request.itemIdList = list;
    request.useItemIdList = 1;
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    LinkInfo info;
    ASSERT_TRUE(ReadLink(folder_ + "\\Ids.lnk", &info));
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_STRCASEEQ(info.path.c_str(), windows);
    EXPECT_TRUE(info.hasIdList);
    CoTaskMemFree(list);
}

TEST_F(Shortcuts, MissingLinkFolderWritesNothingAndStillAnswers1)
{
    ShortcutRequest request = Request("Readme", "APP.EXE", "");
    strcat(request.linkFolder, "\\missing");
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    EXPECT_FALSE(Exists("\\missing\\Readme.lnk"));
    EXPECT_EQ(CreateShortcutFile((target_ + "\\APP.EXE").c_str(), TargetMode::Path, "",
                                 (folder_ + "\\missing\\Readme.lnk").c_str(), "x") == S_OK,
              false);
}

TEST_F(Shortcuts, UnterminatedOrOverlongFieldsWriteNothing)
{
    ShortcutRequest request = Request("Readme", "APP.EXE", "");
    memset(request.description, 'd', sizeof request.description);
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    EXPECT_FALSE(Exists("\\Readme.lnk"));

    request = Request("Readme", "APP.EXE", "");
    std::string longName(255 - folder_.size(), 'n'); // folder + \ + name + .lnk > 259
    strcpy(request.linkName, longName.c_str());
    EXPECT_EQ(HandleShortcutRequest(&request), 1);
    EXPECT_FALSE(Exists(("\\" + longName + ".lnk").c_str()));
}

TEST_F(Shortcuts, LaterRequestsWorkAfterAFailure)
{
    ShortcutRequest bad = Request("Readme", "APP.EXE", "");
    strcpy(bad.linkFolder, "Q:\\no\\such\\folder");
    EXPECT_EQ(HandleShortcutRequest(&bad), 1);
    ShortcutRequest good = Request("Readme", "APP.EXE", "");
    EXPECT_EQ(HandleShortcutRequest(&good), 1);
    EXPECT_TRUE(Exists("\\Readme.lnk"));
}
