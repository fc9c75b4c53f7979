// A private runtime folder for Qt when the session has none (a scheduler's
// job, a service): without it Qt writes a warning into every run's log.
#pragma once

namespace fhsw {

// When XDG_RUNTIME_DIR is unset or empty, makes (or reuses) a folder of the
// user's own, mode 0700, under the temporary folder and points the variable
// at it. A folder that is not the user's own, or not private, is not used.
void EnsureRuntimeDir();

}  // namespace fhsw
