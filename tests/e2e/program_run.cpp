#include "tests/e2e/program_run.h"
#include "tools/mkvol/manifest_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Far longer than any run on a builder volume takes; only a hang comes near it.
constexpr auto kRunLimit = std::chrono::seconds(120);

// Waits for child, killing it once the limit is reached; its exit code, or -1.
int Reap(pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "killed a run that did not end";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

Outcome Run(const std::string& program, const std::vector<std::string>& arguments, bool merged,
            const std::string& locale) {
    const vesk_test::ScratchFolder capture;
    const std::string outPath = (capture / "out").string(), errPath = (capture / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (merged)
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // The test's own environment (sanitizer options included), with the locale chosen here.
    std::vector<std::string> environment{"LC_ALL=" + locale};
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, "LC_", 3) != 0 && std::strncmp(*variable, "LANG", 4) != 0)
            environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    Outcome outcome;
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return outcome;
    }
    outcome.exitCode = Reap(child);
    outcome.out = ReadFile(outPath);
    if (!merged)
        outcome.err = ReadFile(errPath);
    return outcome;
}

Outcome Vesk(const std::vector<std::string>& arguments, bool merged, const std::string& locale) {
    return Run(VESK_PROGRAM, arguments, merged, locale);
}

std::string MaskTime(const std::string& text) {
    static const std::regex elapsed(" in [0-9.e+-]+ s\\.");
    return std::regex_replace(text, elapsed, " in T s.");
}

std::string Volume(const std::string& name) {
    return std::string(VESK_TEST_VOLUMES_DIR) + "/" + name + ".img";
}

std::string CopyOfVolume(const vesk_test::ScratchFolder& folder, const std::string& name) {
    const std::string copy = (folder / (name + ".img")).string();
    fs::copy_file(Volume(name), copy, fs::copy_options::overwrite_existing);
    return copy;
}

void PatchRecord(const std::string& image, unsigned long long record, unsigned long long offset,
                 const std::string& hexBytes) {
    const Outcome patched = Run(VESK_MKVOL, {"patch", image, "record=" + std::to_string(record),
                                             "offset=" + std::to_string(offset), "bytes=" + hexBytes});
    ASSERT_EQ(patched.exitCode, 0) << patched.err;
}

std::vector<ManifestName> ManifestNames(const std::string& volume) {
    std::vector<ManifestName> names;
    for (const mkvol::ManifestLine& line : mkvol::ReadManifest(Volume(volume) + ".manifest"))
        if (line.kind == "name")
            names.push_back(
                {line.Number("rec"), line.Number("base"), line.Number("value"), line.Text("path")});
    return names;
}

ManifestName FindName(const std::string& volume, const std::string& path) {
    for (const ManifestName& name : ManifestNames(volume))
        if (name.path == path)
            return name;
    ADD_FAILURE() << volume << " has no name " << path;
    return {};
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Utf16Le(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

} // namespace e2e
