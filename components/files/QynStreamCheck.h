#pragma once

#include <cstdint>
#include <span>

// Checks, for formats whose Qt readers would allocate the image a header claims before
// finding out that the data are missing, that the file holds all the data its header
// announces.
class QynStreamCheck {
public:
    // Binary PBM, PGM or PPM (P4, P5, P6): the header is whole and valid, and the samples
    // it announces (two bytes each above a maximum of 255) follow it. Returns 0,
    // Truncated when the file ends first, NotAnImage for a broken header.
    static std::int32_t pnm(std::span<const std::uint8_t> bytes);
};
