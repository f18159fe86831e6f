// The POSIX layer's text rules as rows of rows.txt:
//   $ encode CODESET TEXT     the console bytes of TEXT in that character set
//   $ mount MAJOR:MINOR DIR   the source of the file system holding DIR in the table below
//   $ argument BYTES          an argument's UTF-16 code units under a UTF-8 locale (\xHH for a byte)
//   $ current-drive           whether the working directory's drive is found
// In TEXT and DIR, "<U+0020>" stands for a blank.

#include "platform/Arguments.h"
#include "platform/Drive.h"
#include "platform/linux/MountInfo.h"
#include "platform/posix/CharsetEncoder.h"
#include "tests/common/transcript.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

const char* const kMountTable = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                                "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                                "broken line\n"
                                "40 27 8:17 / /mnt/my\\040disk rw shared:5 master:2 - ntfs3 /dev/sdb1 rw\n"
                                "41 27 0:45 /sub /home rw - btrfs /dev/sdc2 rw\n"
                                "42 27 8:33 / /mnt/a rw - ext4 /dev/sdc1 rw\n"
                                "43 42 8:34 / /mnt/a/b rw - ext4 /dev/sdc3 rw\n"
                                "44 27 8:35 / /mnt/a rw - xfs /dev/sdd1 rw\n";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring Row(const std::vector<std::wstring>& words) {
    const std::wstring& what = words.at(0);
    if (what == L"encode") {
        const std::string bytes = platform::CharsetEncoder(Narrow(words.at(1))).Encode(words.at(2));
        return vesk_test::Unescape(bytes) + L"\n"; // a byte above ASCII shows as <U+00HH>
    }
    if (what == L"argument") {
        std::string bytes = Narrow(words.at(1));
        for (std::size_t at = bytes.find("\\x"); at != std::string::npos; at = bytes.find("\\x", at + 1))
            bytes.replace(at, 4, 1, static_cast<char>(std::stoi(bytes.substr(at + 2, 2), nullptr, 16)));
        setenv("LC_ALL", "C.UTF-8", 1);
        char* argv[] = {bytes.data()};
        return platform::WideArguments(1, argv).at(0) + L"\n";
    }
    if (what == L"current-drive") // the source of the working directory's file system
        return platform::CurrentDrive().error == 0 && !platform::CurrentDrive().value.empty() ? L"found\n"
                                                                                              : L"none\n";
    std::istringstream text(kMountTable);
    unsigned major = 0, minor = 0;
    std::sscanf(Narrow(words.at(1)).c_str(), "%u:%u", &major, &minor);
    // FindMount's answer points into the table, which must outlive it.
    const std::vector<platform::MountEntry> table = platform::ParseMountInfo(text);
    const auto* mount = platform::FindMount(table, major, minor, Narrow(words.at(2)));
    return (mount != nullptr ? vesk_test::Unescape(mount->source) : L"none") + L"\n";
}

TEST(PosixRows, AsTheTranscriptShows) {
    vesk_test::ExpectTranscript(VESK_PLATFORM_ROWS, Row);
}

} // namespace
