#pragma once
// Running the built program (and other programs) as a user would, and reading what it left.

#include "tests/common/scratch_folder.h"

#include <string>
#include <vector>

namespace e2e {

// What one run left behind.
struct Outcome {
    int exitCode = -1; // -1 when the program did not end by itself
    std::string out;   // standard output, bytes as written
    std::string err;   // standard error
};

// Runs program with arguments (UTF-8) under the locale LC_ALL=locale, standard input empty.
// With merged, standard error goes where standard output goes (err stays empty), so out shows
// the order in which the two streams were written. A run that has not ended after a generous
// time is killed: a hang fails the test instead of stopping the suite.
Outcome Run(const std::string& program, const std::vector<std::string>& arguments, bool merged = false,
            const std::string& locale = "C.UTF-8");

// The built vesk.
Outcome Vesk(const std::vector<std::string>& arguments, bool merged = false,
             const std::string& locale = "C.UTF-8");

// text with the elapsed time of the summary (" in 0.013 s.") replaced by " in T s.".
std::string MaskTime(const std::string& text);

// The image of a builder volume: VESK_TEST_VOLUMES_DIR/NAME.img.
std::string Volume(const std::string& name);

// A copy of the builder volume NAME in folder.
std::string CopyOfVolume(const vesk_test::ScratchFolder& folder, const std::string& name);

// Changes the logical bytes of a record of image (vesk-mkvol patch); the test fails if it cannot.
void PatchRecord(const std::string& image, unsigned long long record, unsigned long long offset,
                 const std::string& hexBytes);

// One name line of a builder manifest: its fields by key (tools/mkvol/README.md).
struct ManifestName {
    unsigned long long record = 0;
    unsigned long long base = 0;
    unsigned long long value = 0; // offset of the FILE_NAME value in its record
    std::string path;             // as the manifest writes it: escaped UTF-8, '\' separators
};

// The name lines of NAME.img.manifest, in manifest order.
std::vector<ManifestName> ManifestNames(const std::string& volume);

// The one name of volume whose path is path; the test fails if there is none.
ManifestName FindName(const std::string& volume, const std::string& path);

std::string ReadFile(const std::string& path);

// UTF-16LE bytes of text, code unit by code unit.
std::string Utf16Le(const std::u16string& text);

} // namespace e2e
