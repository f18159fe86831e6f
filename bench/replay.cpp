// vesk-replay: the reads a search made of a volume, made again in the same order and sizes with no work
// between them. Run on a cold page cache, its time is the device's own time for the search's I/O: the
// MFT read block by block, and the far reads (attribute lists, parent records) between the blocks. A
// cold search cannot take less; how much more it takes is the time its processing does not overlap.
//
//   vesk-replay TRACE DEVICE
//
// TRACE comes from bench/record-reads.py, one request a line:
//   read FD OFFSET LENGTH     a positioned read of LENGTH bytes at OFFSET
//   advise FD OFFSET LENGTH   a hint that the range will be read soon (posix_fadvise WILLNEED): the
//                             kernel reads it in the background, as it did for the search
// FD is the descriptor the search made the request on. Each distinct FD gets its own open file of DEVICE
// here, since the kernel follows each open file's sequential reads with read-ahead of its own.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: vesk-replay TRACE DEVICE\n";
// A read larger than this is refused as a malformed trace: the search reads blocks of a few MiB.
constexpr uint64_t kMaxReadBytes = 64u << 20;

struct Request {
    bool advise = false;
    int descriptor = 0; // the search's
    uint64_t offset = 0;
    uint64_t length = 0;
};

std::vector<Request> read_trace(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot open");
    std::vector<Request> requests;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        std::istringstream fields(line);
        std::string kind;
        Request request;
        if (!(fields >> kind >> request.descriptor >> request.offset >> request.length) ||
            (kind != "read" && kind != "advise") || request.length > kMaxReadBytes)
            throw std::runtime_error(path + ":" + std::to_string(number) + ": not a request: " + line);
        request.advise = kind == "advise";
        requests.push_back(request);
    }
    return requests;
}

// Reads length bytes at offset into buffer; the end of the device ends the read early, as it did the
// search's.
void read_fully(int fd, unsigned char* buffer, uint64_t offset, uint64_t length) {
    uint64_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error("read of " + std::to_string(length) + " bytes at " +
                                     std::to_string(offset) + ": " + std::strerror(errno));
        if (got == 0)
            return;
        done += static_cast<uint64_t>(got);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::map<int, int> files; // the search's descriptor -> ours
    try {
        const std::vector<Request> requests = read_trace(argv[1]);
        uint64_t largest = 0;
        for (const Request& request : requests) {
            if (!request.advise && request.length > largest)
                largest = request.length;
            if (files.count(request.descriptor) == 0) {
                const int fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    throw std::runtime_error(std::string(argv[2]) + ": " + std::strerror(errno));
                files[request.descriptor] = fd;
            }
        }
        std::vector<unsigned char> buffer(largest);
        uint64_t reads = 0, bytes = 0, advised = 0;
        for (const Request& request : requests) {
            const int fd = files[request.descriptor];
            if (request.advise) {
                ::posix_fadvise(fd, static_cast<off_t>(request.offset), static_cast<off_t>(request.length),
                                POSIX_FADV_WILLNEED);
                advised += request.length;
                continue;
            }
            read_fully(fd, buffer.data(), request.offset, request.length);
            ++reads;
            bytes += request.length;
        }
        std::printf("%llu reads of %llu bytes on %zu open files, %llu bytes advised\n",
                    static_cast<unsigned long long>(reads), static_cast<unsigned long long>(bytes),
                    files.size(), static_cast<unsigned long long>(advised));
    } catch (const std::exception& e) {
        std::cerr << "vesk-replay: " << e.what() << '\n';
        return 1;
    }
    for (const auto& entry : files)
        ::close(entry.second);
    return 0;
}
