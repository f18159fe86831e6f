#include "app/DamageNotes.h"

#include "app/ResultPrinter.h"
#include "volume/RecordDamage.h"

#include <sstream>

void DamageNotes::Report(std::uint32_t recordNumber, const Krod::RecordDamage& damage) {
    if (written_ == kMaxNotes) {
        ++heldBack_;
        return;
    }
    ++written_;
    std::wostringstream note;
    note << L"Unable to read record #" << recordNumber << L" in full. "
         << Krod::DescribeDamage(damage, recordNumber).c_str() << L'\n';
    printer_.WriteNote(note.str());
}

void DamageNotes::Close() {
    if (heldBack_ == 0)
        return;
    std::wostringstream note;
    note << L"Unable to read " << heldBack_ << L" more records in full.\n";
    printer_.WriteNote(note.str());
}
