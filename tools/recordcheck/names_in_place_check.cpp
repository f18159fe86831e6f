#include "tools/recordcheck/names_in_place_check.h"

#include "volume/FileNameAttribute.h"
#include "volume/FileNamesInPlace.h"

#include <exception>

namespace vesk_test {
namespace {

bool SameName(const Krod::CFileNameInPlace& inPlace, const Krod::CAttribute& attribute) {
    const Krod::CFileNameInPlace viewed = Krod::CFileNameAttribute(attribute).InPlace();
    std::wstring a, b;
    inPlace.GetFileNameText(a);
    viewed.GetFileNameText(b);
    return a == b && inPlace.GetParentReference() == viewed.GetParentReference() &&
           inPlace.GetNamespace() == viewed.GetNamespace() &&
           inPlace.GetFileAttributes() == viewed.GetFileAttributes();
}

} // namespace

bool NamesInPlaceAgree(const Krod::CFileRecord& record, std::string& difference) {
    for (int selector : {0, 1, 2, 3, Krod::AnyNamespace}) {
        const std::string which = "selector " + std::to_string(selector) + ": ";
        Krod::FileNamesInPlace names;
        if (!Krod::ReadFileNamesInPlace(record.GetBuffer(), record.GetBufferSize(), selector, names))
            continue;
        Krod::AttributeList selected, win32;
        try {
            selected = record.GetFileNameAttributes(selector);
            win32 = record.GetFileNameAttributes(Krod::kNamespaceWin32);
        } catch (const std::exception& e) {
            difference = which + "read in place, but the selection throws " + e.what();
            return false;
        }
        if (names.count != selected.size()) {
            difference = which + std::to_string(names.count) + " names in place, " +
                         std::to_string(selected.size()) + " selected";
            return false;
        }
        for (std::size_t i = 0; i < names.count; ++i) {
            const bool samePlace =
                record.GetBuffer() + names.attributes[i].offset == selected[i].GetHeader() &&
                names.attributes[i].length == selected[i].GetLength();
            if (!samePlace || !SameName(names.selected[i], selected[i])) {
                difference = which + "name " + std::to_string(i) + " differs";
                return false;
            }
        }
        if (names.hasWin32 != !win32.empty() ||
            (names.hasWin32 && !SameName(names.firstWin32, win32.front()))) {
            difference = which + "the first Win32 name differs";
            return false;
        }
    }
    return true;
}

} // namespace vesk_test
