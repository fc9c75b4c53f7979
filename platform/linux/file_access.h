// What the settings store and the install folder's files share: who besides
// this user can reach a file, and the removal of what killed saves left.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace fhsw {

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

// The user's login name, or "uid N" when it has none.
std::string UserName(uid_t uid);

// Why users other than this one could change what is at `path`, or read it
// when it is a file: it, or the folder that holds a file, is writable by
// others or its group ("/srv/mail is writable by other users (mode 1777)"),
// a file is readable by them, or it belongs to another user (root aside).
// "" when none of that holds or nothing is there.
std::string OpenToOthers(const std::string& path);

// Removes what killed saves left in `folder`: regular files of this user
// whose names start with `prefix` (and are `length` long, unless 0) and that
// no process holds a lock (flock) on. A save holds one on each of its files
// while it lives.
void RemoveLeftovers(const std::string& folder, const std::string& prefix, std::size_t length = 0);

}  // namespace fhsw
