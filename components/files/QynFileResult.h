#pragma once

#include <cstdint>

// What the image file code reports: the result codes QynFileAccess keeps for
// GetLastResult, and the largest side it loads. The decoders and encoders return these
// without knowing the component above them.
namespace QynFileResult {

enum Code : std::int32_t {
    Success = 0,
    NoPath = 2001,         // FilePath is empty
    FileNotFound = 2002,   // no file at FilePath
    NotReadable = 2003,    // a folder, a device, or no permission to read
    NotAnImage = 2004,     // not an image, corrupt, or a format that is not supported
    Truncated = 2005,      // the file ends before the image data the header promises
    TooLarge = 2006,       // a side over 16384 pixels, or the image does not fit in memory
    NothingToSave = 2007,  // the slot is empty or its properties describe no known format
    CannotWrite = 2008,    // folder missing, no permission, disk full, the path is a folder, device,
                           // pipe or socket, or the format cannot hold the image
    BadArgument = 2009,    // wrong argument count or type, or a null slot (the call fails too)
};

// Largest width or height that loads.
inline constexpr int MaxSide = 16384;

}  // namespace QynFileResult
