// The program's own zlib uncompress, which the container libraries decompress their chunks with: it
// answers as zlib's does, so that a damaged chunk is still told from a sound one and from a short
// buffer, and it is the one the libraries find.

#include <dlfcn.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A chunk's worth of bytes that compress as an image's do, some runs and some noise, compressed by zlib.
std::vector<Bytef> Stream(std::vector<Bytef>& plain) {
    plain.resize(32768);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        state = state * 1103515245 + 12345;
        plain[i] = (i / 512) % 2 == 0 ? static_cast<Bytef>(i / 512) : static_cast<Bytef>(state >> 24);
    }
    uLongf size = compressBound(plain.size());
    std::vector<Bytef> stream(size);
    EXPECT_EQ(compress2(stream.data(), &size, plain.data(), plain.size(), Z_BEST_SPEED), Z_OK);
    stream.resize(size);
    return stream;
}

// The uncompress the libraries find, looked up as they look it up: naming it here would take the
// program's own in whatever the linker is told.
void* FoundUncompress() {
    return dlsym(RTLD_DEFAULT, "uncompress");
}

int Uncompress(const std::vector<Bytef>& stream, std::vector<Bytef>& out, uLongf& length) {
    const auto found = reinterpret_cast<decltype(&uncompress)>(FoundUncompress());
    return found(out.data(), &length, stream.data(), stream.size());
}

TEST(ChunkInflate, AnswersAsZlibDoes) {
    std::vector<Bytef> plain;
    std::vector<Bytef> stream = Stream(plain);
    std::vector<Bytef> out(plain.size() + 100);

    uLongf length = out.size();
    ASSERT_EQ(Uncompress(stream, out, length), Z_OK);
    EXPECT_EQ(length, plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), out.begin()));

    // Bytes after the stream are not read.
    std::vector<Bytef> followed = stream;
    followed.insert(followed.end(), 64, 0xA5);
    length = out.size();
    EXPECT_EQ(Uncompress(followed, out, length), Z_OK);
    EXPECT_EQ(length, plain.size());

    length = plain.size() - 1;
    EXPECT_EQ(Uncompress(stream, out, length), Z_BUF_ERROR);

    // A changed byte of the Adler-32 at the end, a changed byte inside and a cut stream are damage.
    for (const std::size_t at : {stream.size() - 1, stream.size() / 2}) {
        std::vector<Bytef> damaged = stream;
        damaged[at] ^= 0x10;
        length = out.size();
        EXPECT_EQ(Uncompress(damaged, out, length), Z_DATA_ERROR) << at;
    }
    const std::vector<Bytef> cut(stream.begin(), stream.begin() + stream.size() / 2);
    length = out.size();
    EXPECT_EQ(Uncompress(cut, out, length), Z_DATA_ERROR);
    length = out.size();
    EXPECT_EQ(Uncompress({}, out, length), Z_DATA_ERROR);
}

TEST(ChunkInflate, IsTheOneTheLibrariesFind) {
    Dl_info where{};
    Dl_info program{};
    ASSERT_NE(dladdr(FoundUncompress(), &where), 0);
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&Uncompress), &program), 0);
    EXPECT_STREQ(where.dli_fname, program.dli_fname);
}

} // namespace
