// This program's open-file limit, and the one the programs it starts get.
//
// The process query keeps a file open for each of the user's processes, and
// the usual soft limit of 1024 open files is far below what the system
// allows (the hard limit). RaiseOpenFileLimit lifts this process's soft
// limit to `wanted` at most (never lowers it, never past the hard limit) and
// notes the one it started with. A program started from here gets that one
// back, between fork and exec (RestoreOpenFileLimitInChild): some programs
// still wait on file descriptors with select(), which cannot take one above
// 1023.
#pragma once

#include <sys/resource.h>

namespace fhsw {

void RaiseOpenFileLimit(rlim_t wanted);

// Only calls that are safe between fork and exec; does nothing when the
// limit was never raised.
void RestoreOpenFileLimitInChild() noexcept;

}  // namespace fhsw
