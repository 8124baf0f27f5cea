#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The pipelining yardstick: a bare client that sends USER, PASS and LIST in one write, then
// every RETR in one write, then the DELEs of `condemned` and QUIT in one write, and reads
// the replies as they come. Returns the seconds taken, connect included.
double RunPipelineYardstick(uint16_t port, const std::string& user, const std::string& password,
                            const std::vector<int>& condemned);
