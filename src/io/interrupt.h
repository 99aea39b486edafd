// What an interrupted process cleans up: now in the platform room, and named here for the callers
// that still include it by this name.
#pragma once

#include "platform/interrupt.h"
