// Writes one shadow copy of a volume out as a raw volume image, read by libvshadow alone (the
// volume through libbfio's own file range handle), so that tests can list the copy with tools that
// read plain images and compare vesk's reading of the copy with theirs.
//
//   vesk-shadow-export DISK OFFSET K OUT
//
// DISK holds the volume OFFSET bytes in; K counts the copies from 1. Blocks of zeros are left as
// holes in OUT, which is as long as the copy's volume.

#include <libbfio.h>
#include <libvshadow.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kBlock = 1 << 20;

[[noreturn]] void Fail(const std::string& what, libvshadow_error_t* error = nullptr) {
    std::fprintf(stderr, "vesk-shadow-export: %s\n", what.c_str());
    if (error != nullptr)
        libvshadow_error_backtrace_fprint(error, stderr);
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        Fail("usage: vesk-shadow-export DISK OFFSET K OUT");
    const std::string disk = argv[1];
    const auto offset = static_cast<off64_t>(std::strtoull(argv[2], nullptr, 10));
    const int index = std::atoi(argv[3]) - 1;

    libbfio_handle_t* file = nullptr;
    libbfio_error_t* bfioError = nullptr;
    if (libbfio_file_range_initialize(&file, &bfioError) != 1 ||
        libbfio_file_range_set_name(file, disk.c_str(), disk.size(), &bfioError) != 1 ||
        libbfio_file_range_set(file, offset, 0, &bfioError) != 1)
        Fail("cannot open " + disk);
    libvshadow_volume_t* volume = nullptr;
    libvshadow_store_t* store = nullptr;
    libvshadow_error_t* error = nullptr;
    size64_t size = 0;
    if (libvshadow_volume_initialize(&volume, &error) != 1 ||
        libvshadow_volume_open_file_io_handle(volume, file, LIBVSHADOW_OPEN_READ, &error) != 1 ||
        libvshadow_volume_get_store(volume, index, &store, &error) != 1 ||
        libvshadow_store_get_volume_size(store, &size, &error) != 1)
        Fail("cannot open shadow copy " + std::string(argv[3]), error);

    const int out = ::open(argv[4], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || ::ftruncate(out, static_cast<off_t>(size)) != 0)
        Fail(std::string("cannot write ") + argv[4]);
    std::vector<char> block(kBlock);
    for (size64_t at = 0; at < size; at += kBlock) {
        const std::size_t n = static_cast<std::size_t>(std::min<size64_t>(kBlock, size - at));
        if (libvshadow_store_read_buffer_at_offset(store, block.data(), n, static_cast<off64_t>(at),
                                                   &error) != static_cast<ssize_t>(n))
            Fail("cannot read the copy at offset " + std::to_string(at), error);
        if (std::any_of(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n),
                        [](char c) { return c != 0; }) &&
            ::pwrite(out, block.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
            Fail(std::string("cannot write ") + argv[4]);
    }
    libvshadow_store_free(&store, nullptr);
    libvshadow_volume_close(volume, nullptr);
    libvshadow_volume_free(&volume, nullptr);
    libbfio_handle_free(&file, nullptr);
    return ::close(out) == 0 ? 0 : 1;
}
