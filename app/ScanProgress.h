#pragma once
// The progress line of a long scan: on a terminal, one line on standard error, rewritten in place
// and cut to the terminal's width, with the records scanned out of the total, the percentage, the
// rate and the time left.

#include <cstdint>
#include <iosfwd>
#include <string>

class ScanProgress {
  public:
    // The line of a scan of total records that starts now, written to terminal only when shown
    // (standard error is a terminal and the summary is not silenced); otherwise nothing is ever
    // written. The line leaves the terminal as it was found when the progress dies, and when the
    // user interrupts the program while it shows.
    ScanProgress(bool shown, std::uint32_t total, std::ostream& terminal);
    ~ScanProgress();
    ScanProgress(const ScanProgress&) = delete;
    ScanProgress& operator=(const ScanProgress&) = delete;

    // Tells that done records of the total have been scanned. Once the scan has run for a second,
    // the line shows, rewritten at most four times a second.
    void Update(std::uint32_t done) {
        if (shown_ && --untilClockRead_ == 0)
            Show(done);
    }

    // Takes the line off the terminal, the cursor back at the start of its now empty row; call it
    // before anything else is written to the terminal. The next Update may show the line again.
    void Erase();

  private:
    void Show(std::uint32_t done);

    const bool shown_;
    const std::uint32_t total_;
    std::ostream& terminal_;
    const std::uint64_t start_;    // milliseconds of the platform clock when the scan began
    std::uint64_t nextShow_;       // when the line may be written next
    std::uint32_t untilClockRead_; // records until the clock is read again
    std::size_t shownWidth_ = 0;   // characters of the line on the terminal, 0 when none is
    std::string line_;             // what was last written: a carriage return, the line, blanks
};
