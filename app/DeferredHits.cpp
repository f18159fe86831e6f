#include "app/DeferredHits.h"

#include "app/ResultPrinter.h"
#include "volume/AttributeHeader.h"
#include "volume/FileNamesInPlace.h"
#include "volume/Mft.h"
#include "volume/MftScan.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// Hits no more than this many records apart are read in one block: it reads few bytes more than
// the records alone would, in one request instead of many.
constexpr std::uint32_t kRecordsApart = 8;

} // namespace

void DeferredHits::Keep(const FoundFile& hit) {
    const Krod::AttributeList names = hit.record.FindAttributes(Krod::kAttributeFileName);
    const auto matched = std::find_if(names.begin(), names.end(), [&hit](const Krod::CAttribute& name) {
        return name.GetHeader() == hit.matchedName->GetHeader();
    });
    if (matched == names.end())
        throw std::logic_error("The matched name is not one of its record's names");
    hits_.push_back(
        {hit.recordNumber, static_cast<std::uint16_t>(matched - names.begin()), matched->GetInstance()});
}

std::uint32_t DeferredHits::RecordsOfRun(std::uint32_t maxRecords) const {
    const std::uint32_t first = hits_.front().recordNumber;
    std::uint32_t last = first;
    for (const Hit& hit : hits_) {
        if (hit.recordNumber - last > kRecordsApart || hit.recordNumber - first >= maxRecords)
            break;
        last = hit.recordNumber;
    }
    return last - first + 1;
}

void DeferredHits::List(Krod::CMftScan& scan, Krod::CMft& mft, ResultPrinter& printer) {
    // Where hits lie close together, their records are read again a block at a time, as the scan
    // read them.
    const std::uint32_t maxRecords = scan.GetBlockRecords();
    std::uint64_t blockEnd = 0; // the record after the block read last
    while (!hits_.empty()) {
        const Hit hit = hits_.front();
        if (hit.recordNumber >= blockEnd) {
            const std::uint32_t count = RecordsOfRun(maxRecords);
            if (count > 1) {
                scan.ReadBlock(hit.recordNumber, count);
                blockEnd = std::uint64_t{hit.recordNumber} + count;
            }
        }
        FoundFile found{mft.ReadFileRecord(hit.recordNumber), hit.recordNumber, {}};
        const Krod::AttributeList names = found.record.FindAttributes(Krod::kAttributeFileName);
        if (hit.nameIndex < names.size() && !names[hit.nameIndex].IsNonResident() &&
            names[hit.nameIndex].GetResidentValueLength() >= Krod::kFileNameHeaderSize &&
            names[hit.nameIndex].GetInstance() == hit.nameInstance) {
            found.matchedName = names[hit.nameIndex];
            printer.Print(found);
        } else {
            printer.WriteNote(L"The record #" + std::to_wstring(hit.recordNumber) +
                              L" changed after the search had read it; its hit is not listed.\n");
        }
        hits_.pop_front();
    }
}
