#pragma once
// One run of the program's search, as the search fuzzer makes it: a set of options that change
// what the search reads, on a volume held in memory.

#include "platform/Device.h"

#include <cstdint>
#include <memory>

namespace vesk_fuzz {

// Runs the search for "*" on device with the options flags selects, one bit each: -nall,
// -fsystem, -funused, -deferred, -ssize -salloc, -nocache, -sP, -JP. Result lines and messages
// are discarded (the console streams are silenced for good on the first call). Reports nothing:
// the search itself reports and swallows what it meets.
void RunSearchCase(std::uint8_t flags, std::unique_ptr<platform::Device> device);

} // namespace vesk_fuzz
