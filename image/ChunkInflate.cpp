// zlib's uncompress, done by libdeflate. The container libraries hand every compressed chunk of an
// image to uncompress, and through an EWF image that decompression is most of a search's time.
// libdeflate decodes the same streams two to three times as fast, checking the same Adler-32; being
// the program's own, this definition takes the place of zlib's for every library it loads.
// What it returns is what zlib's returns for the same input: Z_OK with the length
// decoded, Z_BUF_ERROR when the output does not hold it, Z_DATA_ERROR for a damaged stream (its
// checksum too), Z_MEM_ERROR when no decompressor can be made.

#include <libdeflate.h>
#include <zlib.h>

#include <memory>

namespace {

struct DecompressorFree {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

// One decompressor a thread, made at its first chunk: the readers decode chunks side by side.
libdeflate_decompressor* ThreadDecompressor() {
    thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

} // namespace

extern "C" int uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen) {
    libdeflate_decompressor* const decompressor = ThreadDecompressor();
    if (decompressor == nullptr)
        return Z_MEM_ERROR;
    std::size_t consumed = 0;
    std::size_t decoded = 0;
    // Bytes after the stream are left alone, as zlib leaves them.
    switch (
        libdeflate_zlib_decompress_ex(decompressor, source, sourceLen, dest, *destLen, &consumed, &decoded)) {
    case LIBDEFLATE_SUCCESS:
        *destLen = decoded;
        return Z_OK;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return Z_BUF_ERROR;
    default:
        return Z_DATA_ERROR;
    }
}
