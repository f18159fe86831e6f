#pragma once
// The conversion facet of the console streams: wide text (UTF-16 code units) to the bytes of the
// console's character set, "?" for what the set cannot show.

#include "platform/posix/CharsetEncoder.h"

#include <cwchar>
#include <locale>

namespace platform {

// Only writing is converted here; reading keeps the standard facet's behaviour, since the
// program never reads the console. A surrogate pair split between two calls is joined: the
// high surrogate waits in the conversion state for its partner.
class OemCodecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
  public:
    // The encoder must outlive the facet.
    explicit OemCodecvt(const CharsetEncoder& encoder, std::size_t refs = 0);

  protected:
    result do_out(state_type& state, const wchar_t* from, const wchar_t* fromEnd, const wchar_t*& fromNext,
                  char* to, char* toEnd, char*& toNext) const override;
    // Writes "?" for a high surrogate still waiting in state.
    result do_unshift(state_type& state, char* to, char* toEnd, char*& toNext) const override;
    int do_encoding() const noexcept override { return 0; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override { return static_cast<int>(CharsetEncoder::kMaxBytesPerUnit); }

  private:
    const CharsetEncoder& encoder_;
};

} // namespace platform
