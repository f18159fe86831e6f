#pragma once
// The conversion facet of the console streams: wide text (UTF-16) to the console's OEM code page,
// with a replacement byte for what the code page cannot show.

#include <cwchar>
#include <locale>

namespace platform {

// Only writing is converted here; reading keeps the standard facet's behaviour, since the program
// never reads the console. Characters are converted one at a time with WideCharToMultiByte; a
// surrogate pair is one character, and a high surrogate that ends one call's text waits in the
// conversion state for its partner.
class OemCodecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
  public:
    explicit OemCodecvt(char replacement, std::size_t refs = 0);

  protected:
    result do_out(state_type& state, const wchar_t* from, const wchar_t* fromEnd, const wchar_t*& fromNext,
                  char* to, char* toEnd, char*& toNext) const override;
    // Writes the replacement for a high surrogate still waiting in state.
    result do_unshift(state_type& state, char* to, char* toEnd, char*& toNext) const override;
    int do_encoding() const noexcept override { return 0; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override;

  private:
    // Converts units (one character: one unit or a surrogate pair) into bytes, which has room for
    // do_max_length() bytes; returns the byte count, or 0 if the system cannot convert.
    int ConvertCharacter(const wchar_t* units, int count, char* bytes) const;

    char replacement_;
    int maxCharSize_; // the longest character of the OEM code page, in bytes
};

} // namespace platform
