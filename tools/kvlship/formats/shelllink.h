// A reader of shell link (.lnk) files, portable C++: the trial reads back the
// shortcuts a setup wrote on any system, without the platform's link object.
// Texts come back as UTF-8; ANSI texts are read as Windows-1252.
#pragma once

#include <string>
#include <vector>

struct ShellLink {
    std::string target;       // the local path (or share path) of the link information,
                              // else the path the item id list names
    std::string description;  // the link's name string
    std::string relativePath; // target relative to the link
    std::string workingFolder;
    std::string arguments;
    std::string iconLocation;
    int iconIndex = 0;
    int showCommand = 0;
};

// Reads a link from its bytes. Returns false, with the reason in `problem`,
// for bytes that are not a shell link or end inside one of its parts.
bool ReadShellLink(const std::vector<unsigned char> &bytes, ShellLink *link, std::string *problem);

// The same for a file.
bool ReadShellLinkFile(const std::string &path, ShellLink *link, std::string *problem);
