#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace vesk_test {

// A private folder for one test: created empty under the system's temporary folder, with a name that no
// other test process can pick (ctest runs tests in parallel, and two suites may run at once), and removed
// with everything in it when the object dies.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = std::filesystem::temp_directory_path() /
                    ("vesk-" + std::to_string(random()) + "-" + std::to_string(random()));
            if (std::filesystem::create_directory(path_))
                return; // a folder that did not exist before is ours alone
        }
        throw std::runtime_error("cannot create a scratch folder like " + path_.string());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

} // namespace vesk_test
