#include "app/ScanProgress.h"

#include "platform/Clock.h"
#include "platform/Console.h"

#include <algorithm>
#include <ostream>

namespace {

// A scan shorter than this shows no line at all.
constexpr std::uint64_t kFirstShowMs = 1000;
// The line changes at most this often: more would only cost the terminal.
constexpr std::uint64_t kShowIntervalMs = 250;
// Reading the clock at every record would cost more than testing many of them.
constexpr std::uint32_t kRecordsPerClockRead = 64;

// Milliseconds as hours, minutes and seconds: "0:03:07".
std::string Duration(std::uint64_t ms) {
    const std::uint64_t seconds = ms / 1000;
    const auto twoDigits = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    return std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" +
           twoDigits(seconds % 60);
}

// Columns left free at the end of the row: the terminal echoes a typed Ctrl-C as "^C" after the line,
// and a line that wraps cannot be rewritten or erased in place.
constexpr std::uint32_t kFreeColumns = 3;

// At most width characters, fewer when the terminal is narrower: short of its last columns. A terminal
// that has been narrowed since keeps the row the cursor is on.
std::size_t FittingWidth(std::size_t width) {
    const std::uint32_t columns = platform::StandardErrorColumns().value_or(0);
    return columns > kFreeColumns ? std::min<std::size_t>(width, columns - kFreeColumns) : width;
}

} // namespace

ScanProgress::ScanProgress(bool shown, std::uint32_t total, std::ostream& terminal)
    : shown_(shown), total_(total), terminal_(terminal), start_(platform::ElapsedMilliseconds()),
      nextShow_(start_ + kFirstShowMs), untilClockRead_(kRecordsPerClockRead) {}

ScanProgress::~ScanProgress() {
    Erase();
}

void ScanProgress::Erase() {
    if (shownWidth_ == 0)
        return;
    terminal_ << '\r' + std::string(FittingWidth(shownWidth_), ' ') + '\r' << std::flush;
    shownWidth_ = 0;
    platform::SetInterruptText({});
}

// The line is written in one piece, padded over what remains of the one it replaces, and cut to the
// terminal's width as it is now. Should the user interrupt the scan, the line is taken off first.
void ScanProgress::Show(std::uint32_t done) {
    untilClockRead_ = kRecordsPerClockRead;
    const std::uint64_t now = platform::ElapsedMilliseconds();
    if (now < nextShow_ || done == 0 || total_ == 0)
        return;
    nextShow_ = now + kShowIntervalMs;
    const std::uint64_t elapsed = now - start_;
    const std::uint64_t left = total_ > done ? total_ - done : 0;
    line_ = '\r' + std::to_string(done) + " of " + std::to_string(total_) + " records (" +
            std::to_string(std::uint64_t{done} * 100 / total_) + "%), " +
            std::to_string(std::uint64_t{done} * 1000 / elapsed) + " records/s, " +
            Duration(left * elapsed / done) + " left";
    line_.resize(1 + FittingWidth(line_.size() - 1));
    shownWidth_ = FittingWidth(shownWidth_);
    const std::size_t width = line_.size() - 1;
    if (width < shownWidth_)
        line_.append(shownWidth_ - width, ' ');
    terminal_ << line_ << std::flush;
    shownWidth_ = std::max(width, shownWidth_);
    platform::SetInterruptText('\r' + std::string(shownWidth_, ' ') + '\r');
}
