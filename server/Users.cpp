#include "server/Users.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace vornd {
namespace {

constexpr std::size_t kScrambledChars = 32;

// Compares without leaving a timing hint of the first differing byte.
bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

std::string usersFileProblem(const std::string& usersFile) {
    struct stat st {};
    if (::stat(usersFile.c_str(), &st) != 0) return std::strerror(errno);
    if (st.st_mode & S_IWOTH) return "it is writable by others (chmod o-w " + usersFile + ")";
    return "";
}

LoginCheck checkLogin(const std::string& usersFile, const std::string& user,
                      const std::string& password) {
    if (usersFile.empty()) return LoginCheck::Accepted;
    struct stat st {};
    if (::stat(usersFile.c_str(), &st) == 0 && (st.st_mode & S_IWOTH)) return LoginCheck::Unsafe;
    std::ifstream in(usersFile);
    if (!in) return LoginCheck::Unreadable;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (line.compare(0, colon, user) != 0 || colon != user.size()) continue;
        const std::string stored = line.substr(colon + 1).substr(0, kScrambledChars);
        return sameText(stored, password.substr(0, kScrambledChars)) ? LoginCheck::Accepted
                                                                      : LoginCheck::Refused;
    }
    return LoginCheck::Refused;
}

}  // namespace vornd
