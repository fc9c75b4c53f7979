// Whether a process of a given image name is running, from a fresh snapshot
// of the system's process list at every call. The image name is the file
// name of the process's executable ("SendEmail.exe"); names compare the way
// the file system compares them, without regard to case.
//
// Only this user's processes count: another user's process of the same name
// (on a shared or terminal server) is none of this copy's business. The
// snapshot gives names only, so each process whose name matches (rarely more
// than one) is opened for limited query and the user of its access token is
// compared with ours. A process that cannot be opened at all belongs to
// another user (or is protected) and does not count. A process that can be
// opened but whose token cannot be read (an elevated process of this user,
// seen from a copy that is not elevated) counts when it runs in our session.
//
// Our own user is read once, when the object is made; afterwards the object
// holds no state that changes, so calls from several threads at once are safe.
#pragma once

#include <vector>

#include "platform/process_query.h"

namespace fhsw {

class WindowsProcessQuery final : public ProcessQuery {
public:
    WindowsProcessQuery();
    // False also when the process list cannot be read.
    bool isProcessRunning(const std::string& imageName) override;

private:
    bool ours(unsigned long processId) const;

    std::vector<unsigned char> user_;  // our TOKEN_USER; empty when it could not be read
    unsigned long session_ = ~0ul;     // ours; ~0 when it could not be read
};

}  // namespace fhsw
