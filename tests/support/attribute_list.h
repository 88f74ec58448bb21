// An installer attribute list, each pair ended by a NUL and the list by an
// empty pair: attributeList({"DSN=x", "Server=y"}) is "DSN=x\0Server=y\0\0".
#pragma once

#include <initializer_list>
#include <string>

namespace vorntest {

inline std::string attributeList(std::initializer_list<std::string> pairs) {
    std::string s;
    for (const auto& p : pairs) s.append(p).push_back('\0');
    s.push_back('\0');
    return s;
}

}  // namespace vorntest
