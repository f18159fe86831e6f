#pragma once
// The volume's upper-case table ($UpCase, MFT record 10): the mapping NTFS compares names through,
// read lazily one cluster at a time, and a wide ctype facet that folds case through it.

#include "volume/Attribute.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <locale>
#include <string>
#include <vector>

namespace Krod {

class CMft;

class CUpcaseTable {
  public:
    // Keeps the unnamed $DATA stream of record 10; reads no page yet. Throws std::runtime_error
    // when record 10 has not exactly one unnamed $DATA stream, or that stream cannot hold the
    // 65536 entries, or "$UpCase lies past the end of the image." when record 10 or a cluster of
    // the entries does, "$UpCase has a hole among its entries." for a sparse run among them;
    // std::logic_error "No logical disk referenced" when the MFT has no disk. Copies share the
    // page slots, so a page loaded through one copy serves all of them.
    explicit CUpcaseTable(CMft& mft);

    // The volume's upper case of the UTF-16 code unit c; a value above 0xFFFF comes back unchanged.
    // The first lookup in a page reads that page (one cluster). A failed read throws (device
    // errors as Krod::ESystemError) and leaves the page unloaded, so a later lookup retries it.
    wchar_t ToUpper(wchar_t c) const;
    // Replaces every code unit of [first, last) by its upper case, in place; returns last.
    const wchar_t* ToUpper(wchar_t* first, const wchar_t* last) const;
    // The same for a whole string.
    void ToUpperString(std::wstring& text) const;

  private:
    using Page = std::vector<std::uint16_t>;
    using PageSlots = std::vector<boost::shared_ptr<const Page>>;

    const Page& LoadPage(std::size_t page) const;

    CAttribute data_; // the unnamed $DATA of record 10
    std::uint32_t bytesPerCluster_;
    std::uint32_t entriesPerPage_;
    boost::shared_ptr<PageSlots> pages_;
};

// A wide ctype facet whose case conversions both give the volume's upper case, so that a locale
// carrying it makes case-insensitive comparisons (Boost.Regex included) fold as NTFS does.
// Every other ctype operation is the standard one.
class CUpcaseCtype : public std::ctype<wchar_t> {
  public:
    // Copies the table. With refs 0 the locale the facet is installed in owns and deletes it.
    explicit CUpcaseCtype(const CUpcaseTable& table, std::size_t refs = 0);

  protected:
    wchar_t do_toupper(wchar_t c) const override;
    const wchar_t* do_toupper(wchar_t* first, const wchar_t* last) const override;
    wchar_t do_tolower(wchar_t c) const override;
    const wchar_t* do_tolower(wchar_t* first, const wchar_t* last) const override;

  private:
    CUpcaseTable table_;
};

} // namespace Krod
