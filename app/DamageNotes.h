#pragma once
// The notes about records the scan cannot read in full: the examiner learns which results may be
// missing. One note per record, a bounded number of them in a run.

#include <cstdint>

class ResultPrinter;
namespace Krod {
struct RecordDamage;
}

class DamageNotes {
  public:
    // Notes written in one run; the records damaged beyond them are only counted.
    static constexpr std::uint32_t kMaxNotes = 100;

    // Writes through printer's notes (ResultPrinter::WriteNote), which must outlive this object.
    explicit DamageNotes(ResultPrinter& printer) : printer_(printer) {}

    // Notes that record recordNumber is damaged: "Unable to read record #<n> in full. " and what
    // is wrong (Krod::DescribeDamage); for a record not in use "Unable to read record #<n> (not in
    // use) in full. " and what does not fit together. Nothing once kMaxNotes were written. Throws
    // what the printer's notes throw.
    void Report(std::uint32_t recordNumber, const Krod::RecordDamage& damage, bool inUse = true);

    // Notes that records first to last lie past the end of the image and were not read, in one
    // note: "Unable to read records #<first> to #<last>. They lie past the end of the image." (or
    // "record #<n>. It lies"), unless kMaxNotes were written already. Throws what the printer's
    // notes throw.
    void ReportPastImageEnd(std::uint64_t first, std::uint64_t last);

    // When notes were held back, one last line: "Unable to read <m> more records in full."
    void Close();

  private:
    ResultPrinter& printer_;
    std::uint32_t written_ = 0;
    std::uint64_t heldBack_ = 0;
};
