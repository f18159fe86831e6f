#include "platform/posix/OemCodecvt.h"

#include <cstring>

namespace platform {
namespace {

// The waiting high surrogate lives in the first bytes of the state; a zeroed state has none.
static_assert(sizeof(std::mbstate_t) >= sizeof(char16_t), "the state must hold one code unit");

char16_t PendingUnit(const std::mbstate_t& state) {
    char16_t unit;
    std::memcpy(&unit, &state, sizeof unit);
    return unit;
}

void SetPendingUnit(std::mbstate_t& state, char16_t unit) {
    std::memcpy(&state, &unit, sizeof unit);
}

} // namespace

OemCodecvt::OemCodecvt(const CharsetEncoder& encoder, std::size_t refs)
    : std::codecvt<wchar_t, char, std::mbstate_t>(refs), encoder_(encoder) {}

OemCodecvt::result OemCodecvt::do_out(state_type& state, const wchar_t* from, const wchar_t* fromEnd,
                                      const wchar_t*& fromNext, char* to, char* toEnd, char*& toNext) const {
    char16_t pending = PendingUnit(state);
    fromNext = from;
    toNext = to;
    const bool done = encoder_.Convert(fromNext, fromEnd, toNext, toEnd, pending);
    SetPendingUnit(state, pending);
    return done ? ok : partial;
}

OemCodecvt::result OemCodecvt::do_unshift(state_type& state, char* to, char* toEnd, char*& toNext) const {
    toNext = to;
    if (PendingUnit(state) == 0)
        return noconv;
    if (to == toEnd)
        return partial;
    *toNext++ = '?';
    SetPendingUnit(state, 0);
    return ok;
}

} // namespace platform
