#pragma once

namespace varnosk {

// Installs the process-wide new-handler: a failed allocation writes
// "error: memory allocation failed." on standard error and exits with status 1.
void installAllocationFailureHandler();

}  // namespace varnosk
