#include "platform/windows/OemCodecvt.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

static_assert(sizeof(std::mbstate_t) >= sizeof(wchar_t), "the state must hold one code unit");

bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The high surrogate waiting in the state; a zeroed state holds none.
wchar_t PendingUnit(const std::mbstate_t& state) {
    wchar_t unit;
    std::memcpy(&unit, &state, sizeof unit);
    return unit;
}

void SetPendingUnit(std::mbstate_t& state, wchar_t unit) {
    std::memcpy(&state, &unit, sizeof unit);
}

// Room for the longest character of any code page (UTF-8 is the longest, four bytes).
constexpr int kLongestCharacter = 4;

int OemMaxCharSize() {
    CPINFO info{};
    if (!GetCPInfo(CP_OEMCP, &info) || info.MaxCharSize < 1)
        return kLongestCharacter;
    return std::min<int>(static_cast<int>(info.MaxCharSize), kLongestCharacter);
}

} // namespace

OemCodecvt::OemCodecvt(char replacement, std::size_t refs)
    : std::codecvt<wchar_t, char, std::mbstate_t>(refs), replacement_(replacement),
      maxCharSize_(OemMaxCharSize()) {}

int OemCodecvt::do_max_length() const noexcept {
    return maxCharSize_;
}

int OemCodecvt::ConvertCharacter(const wchar_t* units, int count, char* bytes) const {
    BOOL usedDefault = FALSE;
    // UTF-8 and UTF-7 code pages take no default character; they have one for everything anyway.
    const UINT codePage = GetOEMCP();
    const bool takesDefault = codePage != CP_UTF8 && codePage != CP_UTF7;
    const int written = WideCharToMultiByte(CP_OEMCP, 0, units, count, bytes, kLongestCharacter, nullptr,
                                            takesDefault ? &usedDefault : nullptr);
    if (usedDefault) {
        bytes[0] = replacement_;
        return 1;
    }
    return written;
}

OemCodecvt::result OemCodecvt::do_out(state_type& state, const wchar_t* from, const wchar_t* fromEnd,
                                      const wchar_t*& fromNext, char* to, char* toEnd, char*& toNext) const {
    fromNext = from;
    toNext = to;
    wchar_t pending = PendingUnit(state);
    while (fromNext != fromEnd) {
        wchar_t units[2];
        int count = 0;
        if (pending != 0 && IsLowSurrogate(*fromNext)) {
            units[count++] = pending;
            units[count++] = *fromNext;
        } else if (pending == 0 && IsHighSurrogate(*fromNext)) {
            // The partner may come with the next call.
            pending = *fromNext++;
            continue;
        } else {
            // A waiting surrogate without its partner is a character of its own; this unit is
            // converted on the next turn.
            units[count++] = pending != 0 ? pending : *fromNext;
        }
        char bytes[kLongestCharacter];
        int produced = ConvertCharacter(units, count, bytes);
        if (produced == 0) {
            SetPendingUnit(state, pending);
            errno = EILSEQ;
            return error;
        }
        // Converted into a buffer of our own first, so that a character never goes out in part.
        if (toEnd - toNext < produced) {
            SetPendingUnit(state, pending);
            return partial;
        }
        toNext = std::copy(bytes, bytes + produced, toNext);
        if (pending == 0 || count == 2)
            ++fromNext;
        pending = 0;
    }
    SetPendingUnit(state, pending);
    return ok;
}

OemCodecvt::result OemCodecvt::do_unshift(state_type& state, char* to, char* toEnd, char*& toNext) const {
    toNext = to;
    if (PendingUnit(state) == 0)
        return noconv;
    if (to == toEnd)
        return partial;
    *toNext++ = replacement_;
    SetPendingUnit(state, 0);
    return ok;
}

} // namespace platform
