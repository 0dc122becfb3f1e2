#include "QynPngDecoder.h"

#include "QynFileResult.h"
#include "QynPixelPacking.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Job {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
    bool ranOut = false;
    bool headerRead = false;
    std::int32_t code = QynFileResult::NotAnImage;
    std::shared_ptr<QynPixelBuffer> pixels;
    std::vector<std::uint8_t> row;  // here, not in run(): libpng's errors jump out of it
};

void readBytes(png_structp png, png_bytep out, std::size_t count)
{
    auto* job = static_cast<Job*>(png_get_io_ptr(png));
    if (count > job->bytes.size() - job->pos) {
        job->ranOut = true;
        png_error(png, "the file ends early");
    }
    std::memcpy(out, job->bytes.data() + job->pos, count);
    job->pos += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// libpng's allocations, so that running out of memory is told from a corrupt file.
png_voidp allocate(png_structp png, png_alloc_size_t size)
{
    void* p = std::malloc(size);
    if (!p)
        *static_cast<bool*>(png_get_mem_ptr(png)) = true;
    return p;
}

void release(png_structp, png_voidp p)
{
    std::free(p);
}

void onWarning(png_structp, png_const_charp) {}  // the result code says all we report

// Maps the 8-bit indices that start each row in place: through a gray table, or widened
// to colour words from the right so no index is overwritten before it is read. False
// when an index lies past the file's palette (a corrupt file: no colour to give it).
bool mapIndices(QynPixelBuffer& px, const std::array<std::uint32_t, 256>& palette, int entries)
{
    const int w = px.width();
    for (int y = 0; y < px.height(); ++y) {
        std::uint8_t* row = px.row(y);
        if (entries < 256 && *std::max_element(row, row + w) >= entries)
            return false;
        if (px.format() == QynPixelFormat::Gray8) {
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<std::uint8_t>(palette[row[x]]);
        } else {
            for (int x = w; x-- > 0;) {
                const std::uint32_t c = palette[row[x]];
                std::memcpy(row + 4 * x, &c, 4);
            }
        }
    }
    return true;
}

// Every libpng call, behind the one setjmp: all state it changes lives in job.
void run(png_structp png, png_infop info, Job& job)
{
    if (setjmp(png_jmpbuf(png)))
        return;
    png_read_info(png, info);
    job.headerRead = true;
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
    if (width > QynFileResult::MaxSide || height > QynFileResult::MaxSide) {
        job.code = QynFileResult::TooLarge;
        return;
    }
    const bool palette = colorType == PNG_COLOR_TYPE_PALETTE;
    bool gray = (colorType & PNG_COLOR_MASK_COLOR) == 0;
    std::array<std::uint32_t, 256> table{};
    int count = 0;
    if (palette) {
        png_colorp entries = nullptr;
        png_get_PLTE(png, info, &entries, &count);
        gray = true;
        for (int i = 0; i < count && i < 256; ++i) {
            const png_color& c = entries[i];
            table[static_cast<std::size_t>(i)] = std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
            gray = gray && c.red == c.green && c.red == c.blue;
        }
        if (gray)
            for (std::uint32_t& c : table)
                c &= 0xff;
        png_set_packing(png);
    } else {
        png_set_scale_16(png);
        png_set_strip_alpha(png);
        if (gray)
            png_set_expand_gray_1_2_4_to_8(png);
        else
            png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    // Colour rows come as B, G, R triples, widened to the slot's words by the SIMD
    // unpacking (libpng's filler adds the fourth byte a pixel at a time). Interlaced
    // passes fill in rows already read, so they are read straight into the slot's words.
    const bool triples = !palette && !gray && passes == 1;
    if (!palette && !gray && !triples)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const std::size_t rowBytes = palette || gray ? width : std::size_t{triples ? 3u : 4u} * width;
    if (png_get_rowbytes(png, info) != rowBytes)
        png_error(png, "unexpected row size");

    job.pixels = std::make_shared<QynPixelBuffer>(static_cast<int>(width), static_cast<int>(height),
                                                  gray ? QynPixelFormat::Gray8 : QynPixelFormat::Color32);
    if (triples) {
        job.row.resize(rowBytes);
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, job.row.data(), nullptr);
            QynPixelPacking::unpackBgr(job.row.data(), job.pixels->row(static_cast<int>(y)), width);
        }
    } else {
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(png, job.pixels->row(static_cast<int>(y)), nullptr);
    }
    if (palette && !mapIndices(*job.pixels, table, count)) {
        job.code = QynFileResult::NotAnImage;
        return;
    }
    job.code = QynFileResult::Success;
}

}  // namespace

bool QynPngDecoder::looksLikePng(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

bool QynPngDecoder::headerSize(std::span<const std::uint8_t> head, std::uint32_t& width, std::uint32_t& height)
{
    constexpr std::size_t SidesAt = 16;  // signature, IHDR length and type
    if (!looksLikePng(head) || head.size() < SidesAt + 8)
        return false;
    width = png_get_uint_32(head.data() + SidesAt);
    height = png_get_uint_32(head.data() + SidesAt + 4);
    return true;
}

std::int32_t QynPngDecoder::decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out)
{
    if (!looksLikePng(bytes))
        return QynFileResult::NotAnImage;
    bool outOfMemory = false;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning,
                                               &outOfMemory, allocate, release);
    if (!png)
        throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw std::bad_alloc();
    }
    Job job;
    job.bytes = bytes;
    png_set_read_fn(png, &job, readBytes);
    // Our own side limit applies after the header; libpng's smaller default must not.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    try {
        run(png, info, job);
    } catch (...) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (job.code == QynFileResult::Success)
        out = std::move(job.pixels);
    else if (outOfMemory)
        return QynFileResult::TooLarge;
    else if (job.ranOut && job.headerRead)
        return QynFileResult::Truncated;
    return job.code;
}
