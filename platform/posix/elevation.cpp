#include "platform/elevation.h"

#include <unistd.h>

namespace plat {

bool IsElevated() { return geteuid() == 0; }

}  // namespace plat
