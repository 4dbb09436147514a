// How check's texts quote what they name.
#pragma once

#include <string>

inline std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}
