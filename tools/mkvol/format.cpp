#include "format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef MKVOL_MKNTFS
#define MKVOL_MKNTFS "mkntfs"
#endif

extern char** environ;

namespace mkvol {

namespace {

constexpr uint64_t kMinimumSize = 1 << 20; // mkntfs wants room for its metadata files

bool PowerOfTwoIn(uint64_t value, uint64_t low, uint64_t high) {
    return value >= low && value <= high && (value & (value - 1)) == 0;
}

} // namespace

std::string GeometryProblem(const Geometry& g) {
    if (!PowerOfTwoIn(g.sector, 256, 4096))
        return "sector must be a power of two from 256 to 4096";
    if (!PowerOfTwoIn(g.cluster, g.sector, 2097152))
        return "cluster must be a power of two from the sector size to 2M";
    if (g.size < kMinimumSize || g.size % g.sector)
        return "size must be a multiple of the sector size and at least 1M";
    return "";
}

void FormatImage(const std::string& image, const Geometry& geometry) {
    if (const std::string problem = GeometryProblem(geometry); !problem.empty())
        throw std::runtime_error(image + ": " + problem);
    const int fd = ::open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(geometry.size)) != 0 || ::close(fd) != 0)
        throw std::runtime_error(image + ": " + std::strerror(errno));

    const std::string log = image + ".mkntfs.log";
    const std::string sector = std::to_string(geometry.sector);
    const std::string cluster = std::to_string(geometry.cluster);
    // -F: an image is not a block device; -q -f: quiet and quick; -T: clock at the epoch (it also
    // seeds the volume serial number, so it is fixed too); -p 0 -H 0 -S 0: no partition, and no disk
    // geometry guessed from the host.
    std::vector<std::string> args = {MKVOL_MKNTFS, "-F", "-q", "-f", "-T", "-s", sector, "-c",
                                     cluster,      "-p", "0",  "-H", "0",  "-S", "0",    image};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot run ") + argv[0] + ": " + std::strerror(spawned));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("waiting for mkntfs: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream in(log);
        std::ostringstream text;
        text << in.rdbuf();
        throw std::runtime_error("mkntfs failed on " + image + ":\n" + text.str());
    }
    std::remove(log.c_str());
}

} // namespace mkvol
