// The wall clock.

#include "platform/clock.h"

#include <chrono>
#include <ctime>

#include "unix/clock.inc"
