// INI files read as the platform's profile functions read them, so that
// kvlship sees kvlsetup.dat exactly as setup.exe and its module will:
// section and key names without regard to case, blanks around names and
// values dropped, one pair of matching quotes around a value dropped, the
// first section and the first key of a name the only ones found; a line
// without '=' is no key, and a '[' line without ']' no section.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ProfileKey {
    std::string name;
    std::string value; // as written, blanks around it dropped
    int line;          // 1-based line in the file
};

struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
    int line;
    std::map<std::string, size_t> firstKey; // lower-case name -> index of its first key
};

struct Profile {
    std::vector<ProfileSection> sections;
    std::map<std::string, size_t> firstSection; // lower-case name -> index
};

// Splits INI text into sections and keys.
void ParseProfile(const std::string &text, Profile *profile);

// The first section named `section`, or nullptr.
const ProfileSection *FindSection(const Profile &profile, const char *section);

// The key the platform finds for `section`/`key`, or nullptr when it finds none.
const ProfileKey *FindKey(const Profile &profile, const char *section, const char *key);

// What a profile read of `key` returns into a buffer of `size` bytes: the
// value without its quotes, cut to size - 1 characters; "" when missing.
// `*whole` (if given) receives the length before the cut.
std::string ReadProfileValue(const Profile &profile, const char *section, const char *key,
                             size_t size, size_t *whole = nullptr);
