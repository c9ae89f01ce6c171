// Classification of 32-bit pixel-type codes as the display pipeline needs it.
#pragma once

#include <cstdint>

enum BayerPattern { BayerRG = 0, BayerGB = 1, BayerGR = 2, BayerBG = 3, BayerNone = 4 };

BayerPattern bayerPatternOf(uint32_t pixelType);
bool isBayerPixelType(uint32_t pixelType);
// Mono flag set and not a Bayer type.
bool isMonoImagePixelType(uint32_t pixelType);
