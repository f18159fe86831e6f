#pragma once
// The index fuzzer's walk over a volume: every index node and reparse point of the first records,
// and the junction table with its lookups.

#include "platform/Device.h"

#include <memory>

namespace vesk_fuzz {

// Opens the MFT of device and, for each valid record among the first kMaxWalkedRecords, reads every
// INDEX_ROOT's entries and, when the root has sub-nodes, every in-use INDEX_ALLOCATION block of the
// same name through its $BITMAP; reads every junction target; then loads the junction table and
// looks up each junction's source and target. Each step swallows the std::exception the volume
// library documents for damaged data and the walk goes on with the next.
void WalkIndexes(std::unique_ptr<platform::Device> device);

// Records the walk visits at most: a mutated MFT may claim millions.
constexpr unsigned kMaxWalkedRecords = 256;

} // namespace vesk_fuzz
