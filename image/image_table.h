// The images this build carries. The build generates the definitions (carried_image.cpp
// in the build tree) from the firmware payload it was configured with.
#pragma once

#include <cstdint>

constexpr int kImageTableCount = 1;
// Start of each image; a null entry is skipped wherever the list is walked.
extern const uint8_t* const imageTable[kImageTableCount];
// Bytes stored at each entry: the most that validation may read there.
extern const uint32_t imageTableSizes[kImageTableCount];
