#pragma once
// The hits that -deferred lists after the scan. Each is kept as the number of its record and which
// of the file's names matched, a few bytes, so that a listing of millions of hits fits in memory;
// the listing reads every record again, in the order the hits were found.

#include "app/FoundFile.h"

#include <cstdint>
#include <deque>

namespace Krod {
class CMft;
class CMftScan;
} // namespace Krod
class ResultPrinter;

class DeferredHits {
  public:
    // Keeps hit, whose matched name is one of its record's FILE_NAME attributes; hits come in the
    // scan's order, by ascending record number. Throws std::logic_error when the name is not the
    // record's.
    void Keep(const FoundFile& hit);

    // Prints the hits kept, in the order they were kept, each with its record read again from mft
    // (the records of close hits a block at a time through scan, a scan of mft), letting each go
    // once printed. A hit whose record no longer holds the name (the volume was
    // written since the scan read it) is left out with a note. Throws what reading a record and
    // printing throw.
    void List(Krod::CMftScan& scan, Krod::CMft& mft, ResultPrinter& printer);

  private:
    struct Hit {
        std::uint32_t recordNumber;
        // Among the file's FILE_NAMEs, wherever its attribute list keeps them: fewer than 65536, as
        // a list holds no more than kMaxAttributeListSize bytes of 32-byte entries at least.
        std::uint16_t nameIndex;
        std::uint16_t nameInstance; // the attribute's, which tells when the record changed since
    };

    // The records from the first hit kept to the last of those that follow it closely, each near
    // the one before and no more than maxRecords in all: those a block reads for them.
    std::uint32_t RecordsOfRun(std::uint32_t maxRecords) const;

    std::deque<Hit> hits_;
};
