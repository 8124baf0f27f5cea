#pragma once

#include <cstdint>

// A loopback TCP port that nothing listens on at the moment of the call (the OS picks it).
uint16_t FreeLoopbackPort();
