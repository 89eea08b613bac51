// Whether the process runs with raised privileges.
#pragma once

namespace plat {

// Windows: the process token's elevation flag (always true on systems of major version 5
// or lower, which have no elevation; false when the token cannot be queried). Linux: the
// effective user is root.
bool IsElevated();

}  // namespace plat
