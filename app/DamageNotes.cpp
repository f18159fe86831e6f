#include "app/DamageNotes.h"

#include "app/ResultPrinter.h"
#include "volume/RecordDamage.h"

#include <sstream>

void DamageNotes::Report(std::uint32_t recordNumber, const Krod::RecordDamage& damage, bool inUse) {
    if (written_ == kMaxNotes) {
        ++heldBack_;
        return;
    }
    ++written_;
    std::wostringstream note;
    note << L"Unable to read record #" << recordNumber << (inUse ? L" in full. " : L" (not in use) in full. ")
         << Krod::DescribeDamage(damage, recordNumber, inUse).c_str() << L'\n';
    printer_.WriteNote(note.str());
}

void DamageNotes::ReportPastImageEnd(std::uint64_t first, std::uint64_t last) {
    if (written_ == kMaxNotes) {
        heldBack_ += last - first + 1;
        return;
    }
    ++written_;
    std::wostringstream note;
    if (first == last)
        note << L"Unable to read record #" << first << L". It lies past the end of the image.\n";
    else
        note << L"Unable to read records #" << first << L" to #" << last
             << L". They lie past the end of the image.\n";
    printer_.WriteNote(note.str());
}

void DamageNotes::Close() {
    if (heldBack_ == 0)
        return;
    std::wostringstream note;
    note << L"Unable to read " << heldBack_ << L" more records in full.\n";
    printer_.WriteNote(note.str());
}
