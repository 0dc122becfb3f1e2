#pragma once

#include "QynImage.h"

#include <cstdint>
#include <functional>
#include <random>

// Fills image slots for the tests, writing straight into the slot's buffer.
namespace fixture {

// The pixel at column x of row y: a gray level, or a colour word 0x00RRGGBB.
using PixelValue = std::function<std::uint32_t(int x, int y)>;

void fill(QynImage& slot, int width, int height, QynPixelFormat format, const PixelValue& value);
// Every pixel alike.
void fill(QynImage& slot, int width, int height, QynPixelFormat format, std::uint32_t value);
// A pattern that differs in every channel and row.
void fillPattern(QynImage& slot, int width, int height, QynPixelFormat format, int seed = 0);
// Bytes from `random`, row padding included; colour X bytes 0.
void fillRandom(QynImage& slot, int width, int height, QynPixelFormat format, std::mt19937& random);

}  // namespace fixture
