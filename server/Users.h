// The users file: plain lines "user:password". Blank lines and lines that
// begin with '#' are skipped; the password is everything after the first
// colon. The file is read at every login, so edits apply at once.
#pragma once

#include <string>

namespace vornd {

enum class LoginCheck { Accepted, Refused, Unreadable, Unsafe };

// Why the users file cannot be trusted ("" when it can): anyone who may
// write it may let themselves in.
std::string usersFileProblem(const std::string& usersFile);

// Passwords travel scrambled, which keeps only their first 32 characters;
// the stored password is compared the same way.
LoginCheck checkLogin(const std::string& usersFile, const std::string& user,
                      const std::string& password);

}  // namespace vornd
