#pragma once

#include <cstddef>

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes) with huge
// pages. A big buffer written once from start to end then costs one page fault every
// 2 MiB where 4 KiB pages cost 512. Only advice: nothing changes where it is ignored.
void qynAdviseHugePages(void* data, std::size_t bytes);

// The size of a huge page, for buffers that want to start on one.
inline constexpr std::size_t QynHugePageBytes = std::size_t{2} << 20;
