// Arguments on POSIX: multibyte text of the user's locale, decoded into UTF-16 code units.

#include "platform/Arguments.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <locale.h>

namespace platform {

const wchar_t* const OptionSwitchChars = L"-";

namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

// Appends one code point as UTF-16 code units; what is no Unicode scalar value becomes U+FFFD.
void AppendUtf16(std::wstring& text, char32_t code_point) {
    if (code_point >= 0xD800 && code_point <= 0xDFFF) {
        text += kReplacementCharacter;
    } else if (code_point < 0x10000) {
        text += static_cast<wchar_t>(code_point);
    } else if (code_point <= 0x10FFFF) {
        code_point -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (code_point >> 10));
        text += static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF));
    } else {
        text += kReplacementCharacter;
    }
}

// Decodes with the calling thread's current C locale (wchar_t holds a code point on POSIX).
std::wstring Decode(const char* bytes) {
    std::wstring text;
    std::mbstate_t state{};
    std::size_t left = std::strlen(bytes);
    while (left > 0) {
        wchar_t code_point = 0;
        const std::size_t used = std::mbrtowc(&code_point, bytes, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            // Invalid or cut short: this byte stands for nothing; start afresh with the next one.
            text += kReplacementCharacter;
            state = std::mbstate_t{};
            ++bytes;
            --left;
            continue;
        }
        AppendUtf16(text, static_cast<char32_t>(code_point));
        bytes += used;
        left -= used;
    }
    return text;
}

// The character set of the user's locale, made current for the calling thread only while the
// object lives, so the program's own locale stays untouched. Without a usable user locale the
// thread's locale is left as it is.
class UserCharacterSet {
  public:
    UserCharacterSet() : user_(newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
        if (user_ != static_cast<locale_t>(0))
            previous_ = uselocale(user_);
    }
    ~UserCharacterSet() {
        if (user_ != static_cast<locale_t>(0)) {
            uselocale(previous_);
            freelocale(user_);
        }
    }
    UserCharacterSet(const UserCharacterSet&) = delete;
    UserCharacterSet& operator=(const UserCharacterSet&) = delete;

  private:
    locale_t user_;
    locale_t previous_ = static_cast<locale_t>(0);
};

} // namespace

std::vector<std::wstring> WideArguments(int argc, char** argv) {
    const UserCharacterSet user;
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Decode(argv[i]));
    return arguments;
}

} // namespace platform
