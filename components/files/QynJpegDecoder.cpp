#include "QynJpegDecoder.h"

#include "QynFileResult.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// A progressive or multi-scan file is held whole as coefficients (two bytes a sample)
// before its pixels can be made: at most this much beside the slot.
constexpr std::uint64_t CoefficientLimit = std::uint64_t{256} << 20;
// Every scan goes over the whole image; the longest script encoders write has a dozen.
constexpr int MaxScans = 100;

struct Job {
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    bool headerRead = false;
    std::int32_t code = QynFileResult::NotAnImage;
    QString why;
    std::shared_ptr<QynPixelBuffer> pixels;
    std::vector<std::uint8_t> cmykRow;
};

// Ends the load with a code (no jump: the reason's text must be freed).
void refuse(Job& job, std::int32_t code, const QString& why)
{
    job.code = code;
    job.why = why;
}

// The coefficient buffers of a multi-scan file, as libjpeg sizes them.
std::uint64_t coefficientBytes(const jpeg_decompress_struct& info)
{
    std::uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& comp = info.comp_info[c];
        const auto roundUp = [](std::uint64_t n, std::uint64_t m) { return (n + m - 1) / m * m; };
        bytes += roundUp(comp.width_in_blocks, static_cast<std::uint64_t>(comp.h_samp_factor))
            * roundUp(comp.height_in_blocks, static_cast<std::uint64_t>(comp.v_samp_factor)) * sizeof(JBLOCK);
    }
    return bytes;
}

// Reads every scan of a multi-scan file into the coefficient buffers: at most MaxScans
// of them, and together they must give every coefficient of every component its last
// bit, or the file was cut between scans (and perhaps given its end marker back).
bool absorbScans(jpeg_decompress_struct& info, Job& job)
{
    std::array<bool, MAX_COMPONENTS> seen{};  // no destructor: libjpeg's errors jump out of here
    for (int result = JPEG_REACHED_SOS; result != JPEG_REACHED_EOI; result = jpeg_consume_input(&info)) {
        if (result == JPEG_SUSPENDED) {
            job.code = QynFileResult::Truncated;
            return false;
        }
        if (result != JPEG_REACHED_SOS)
            continue;
        if (info.input_scan_number > MaxScans) {
            refuse(job, QynFileResult::NotAnImage, QStringLiteral("the JPEG file has more than %1 scans").arg(MaxScans));
            return false;
        }
        for (int i = 0; i < info.comps_in_scan; ++i)
            seen[static_cast<std::size_t>(info.cur_comp_info[i]->component_index)] = true;
    }
    bool whole = std::all_of(seen.begin(), seen.begin() + info.num_components, [](bool s) { return s; });
    if (info.progressive_mode && info.coef_bits)
        for (int c = 0; c < info.num_components; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                whole = whole && info.coef_bits[c][k] == 0;
    if (!whole)
        refuse(job, QynFileResult::Truncated, QStringLiteral("the JPEG file's scans do not cover its whole image"));
    return whole;
}

Job& jobOf(j_common_ptr info)
{
    return *reinterpret_cast<Job*>(info->err);  // errors is Job's first member
}

[[noreturn]] void onErrorExit(j_common_ptr info)
{
    if (info->err->msg_code == JERR_OUT_OF_MEMORY || info->err->msg_code == JERR_NO_BACKING_STORE)
        jobOf(info).code = QynFileResult::TooLarge;
    std::longjmp(jobOf(info).jump, 1);
}

// Warnings of data that ran out end the load; other messages are dropped, not printed.
void onMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    const int message = info->err->msg_code;
    Job& job = jobOf(info);
    if (message == JWRN_JPEG_EOF || message == JWRN_HIT_MARKER) {
        job.code = job.headerRead ? QynFileResult::Truncated : QynFileResult::NotAnImage;
        std::longjmp(job.jump, 1);
    }
    ++info->err->num_warnings;
}

// CMYK as Adobe writes it (inverted): the same mapping as Qt's reader.
void cmykToColor(const std::uint8_t* in, int width, std::uint8_t* out)
{
    auto* d = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < width; ++x, in += 4) {
        const std::uint32_t k = in[3];
        d[x] = (k * in[0] / 255) << 16 | (k * in[1] / 255) << 8 | k * in[2] / 255;
    }
}

// Every libjpeg call, behind the one setjmp: all state it changes lives in job.
void run(jpeg_decompress_struct& info, std::span<const std::uint8_t> bytes, Job& job)
{
    if (setjmp(job.jump)) {
        return;  // job.code says why: NotAnImage unless a handler set another
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    job.headerRead = true;
    if (info.image_width > QynFileResult::MaxSide || info.image_height > QynFileResult::MaxSide) {
        job.code = QynFileResult::TooLarge;
        return;
    }
    if (info.arith_code) {
        refuse(job, QynFileResult::NotAnImage,
               QStringLiteral("arithmetic-coded JPEG files are not read (their data may end anywhere without a sign)"));
        return;
    }
    // Huffman-coded scans spend at least a bit on every 8x8 block (sequential ones two: a
    // DC difference and an end of block): a file too small for its blocks is cut or lies
    // about its size, and is refused before a slot of that size is made.
    const std::uint64_t blocks =
        std::uint64_t{(info.image_width + 7) / 8} * std::uint64_t{(info.image_height + 7) / 8};
    if (std::uint64_t{bytes.size()} * 8 < (info.progressive_mode ? 1 : 2) * blocks) {
        job.code = QynFileResult::Truncated;
        return;
    }
    const bool multiScan = jpeg_has_multiple_scans(&info);
    if (multiScan) {
        const std::uint64_t needed = coefficientBytes(info);
        if (needed > CoefficientLimit) {
            refuse(job, QynFileResult::TooLarge,
                   QStringLiteral("a progressive or multi-scan JPEG of %1 x %2 pixels needs %3 MiB beside the "
                                  "image while it is read, more than %4 MiB")
                       .arg(info.image_width)
                       .arg(info.image_height)
                       .arg((needed + (1 << 20) - 1) >> 20)
                       .arg(CoefficientLimit >> 20));
            return;
        }
        info.buffered_image = TRUE;
    }
    // What libjpeg may hold besides: the buffers above, and rows for a single-scan file.
    info.mem->max_memory_to_use = static_cast<long>(CoefficientLimit + (std::uint64_t{64} << 20));
    const bool gray = info.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    if (multiScan) {
        if (!absorbScans(info, job))
            return;
        jpeg_start_output(&info, info.input_scan_number);
    }
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    job.pixels = std::make_shared<QynPixelBuffer>(width, height, gray ? QynPixelFormat::Gray8 : QynPixelFormat::Color32);
    if (cmyk)
        job.cmykRow.resize(std::size_t{4} * static_cast<std::size_t>(width));
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        std::uint8_t* row = job.pixels->row(y);
        JSAMPROW target = cmyk ? job.cmykRow.data() : row;
        if (jpeg_read_scanlines(&info, &target, 1) != 1)
            return;
        if (cmyk)
            cmykToColor(job.cmykRow.data(), width, row);
        else if (!gray)
            for (int x = 0; x < width; ++x)
                row[4 * x + 3] = 0;  // libjpeg fills X with 0xff; slots keep it 0
    }
    if (multiScan)
        jpeg_finish_output(&info);
    jpeg_finish_decompress(&info);  // reads up to the end marker: a file without one is cut
    job.code = QynFileResult::Success;
}

}  // namespace

bool QynJpegDecoder::looksLikeJpeg(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

bool QynJpegDecoder::headerSize(std::span<const std::uint8_t> head, std::uint32_t& width, std::uint32_t& height)
{
    if (!looksLikeJpeg(head))
        return false;
    std::size_t pos = 2;
    while (pos + 9 <= head.size()) {
        if (head[pos] != 0xff)
            return false;
        const std::uint8_t marker = head[pos + 1];
        if (marker == 0xff) {  // fill byte
            ++pos;
            continue;
        }
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            height = static_cast<std::uint32_t>(head[pos + 5] << 8 | head[pos + 6]);
            width = static_cast<std::uint32_t>(head[pos + 7] << 8 | head[pos + 8]);
            return true;
        }
        pos += 2 + static_cast<std::size_t>(head[pos + 2] << 8 | head[pos + 3]);
    }
    return false;
}

std::int32_t QynJpegDecoder::decode(std::span<const std::uint8_t> bytes, std::shared_ptr<QynPixelBuffer>& out,
                                    QString* why)
{
    if (!looksLikeJpeg(bytes))
        return QynFileResult::NotAnImage;
    Job job;
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&job.errors);
    job.errors.error_exit = onErrorExit;
    job.errors.emit_message = onMessage;
    try {
        run(info, bytes, job);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }
    jpeg_destroy_decompress(&info);
    if (job.code == QynFileResult::Success)
        out = std::move(job.pixels);
    else if (why)
        *why = job.why;
    return job.code;
}
