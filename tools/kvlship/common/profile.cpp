// INI files read as the platform's profile functions read them (see profile.h).
#include "common/profile.h"

#include "common/hostfs.h"
#include "common/textout.h"

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string &text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

void ParseProfile(const std::string &text, Profile *profile)
{
    *profile = Profile();
    ProfileSection *current = nullptr;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        // A '[' line without ']' is no section: it stays a line of the one before.
        size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            std::string name = line.substr(1, close - 1);
            profile->sections.push_back({Trim(name), {}, number, {}});
            current = &profile->sections.back();
            // The first section of a name is the one found; emplace keeps it.
            profile->firstSection.emplace(Lowered(current->name), profile->sections.size() - 1);
            continue;
        }
        // Keys before any section belong to none and are never found.
        if (!current)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            current->keys.push_back({line, "", number});
        else
            current->keys.push_back(
                {Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), number});
        // A line without '=' has no value: no read finds it.
        if (equals != std::string::npos)
            current->firstKey.emplace(Lowered(current->keys.back().name), current->keys.size() - 1);
    }
}

const ProfileSection *FindSection(const Profile &profile, const char *section)
{
    auto found = profile.firstSection.find(Lowered(section));
    return found == profile.firstSection.end() ? nullptr : &profile.sections[found->second];
}

const ProfileKey *FindKey(const Profile &profile, const char *section, const char *key)
{
    const ProfileSection *within = FindSection(profile, section);
    if (!within)
        return nullptr;
    auto found = within->firstKey.find(Lowered(key));
    return found == within->firstKey.end() ? nullptr : &within->keys[found->second];
}

std::string ReadProfileValue(const Profile &profile, const char *section, const char *key,
                             size_t size, size_t *whole)
{
    const ProfileKey *found = FindKey(profile, section, key);
    std::string value = found ? found->value : "";
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    if (whole)
        *whole = value.size();
    if (size > 0 && value.size() > size - 1)
        value.resize(size - 1);
    return value;
}
