// A second local user for attack tests, made when missing. Root only: a test
// that needs it skips otherwise.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace fhsw::test {

struct User {
    uid_t uid;
    gid_t gid;
    std::string name;
};

inline std::optional<User> OtherUser() {
    if (::geteuid() != 0) return std::nullopt;
    for (int attempt = 0; attempt < 20; ++attempt) {  // another test may be adding it just now
        if (const passwd* pw = ::getpwnam("fhsw-lstore-x")) return User{pw->pw_uid, pw->pw_gid, pw->pw_name};
        if (std::system("useradd --system --no-create-home --shell /usr/sbin/nologin fhsw-lstore-x "
                        ">/dev/null 2>&1") != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return std::nullopt;
}

// Runs a shell command as that user; true when it succeeded.
inline bool AsOtherUser(const User& user, const std::string& command) {
    const std::string line = "setpriv --reuid=" + std::to_string(user.uid) +
                             " --regid=" + std::to_string(user.gid) + " --clear-groups sh -c '" + command + "'";
    return std::system(line.c_str()) == 0;
}

}  // namespace fhsw::test
