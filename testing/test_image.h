// Firmware images for tests, made with the packer: a synthetic payload that a real chip
// would boot, with any version, family, model and name.
#pragma once

#include <string>
#include <vector>

#include "image_pack.h"

// The packed image; empty if the packer refused the options.
std::vector<uint8_t> TestImage(const PackOptions& options = {},
                               uint32_t payloadBytes = kSyntheticPayloadBytes);
// Writes TestImage to path; false on failure.
bool WriteTestImage(const std::string& path, const PackOptions& options = {},
                    uint32_t payloadBytes = kSyntheticPayloadBytes);

// The virtual switch's options that install a test image at power-up; empty when the
// image could not be written. The image goes into folder under a name of its own
// (image1.bin, image2.bin, ...), so that one folder may hold several. Its payload is
// another firmware than the carried one, with other bytes, so that an update that
// skipped a block could not leave the right bytes there by chance.
std::vector<std::string> Installed(const std::string& folder, const PackOptions& options = {});

// Whether flash (the switch's flash file, bank A first) holds image's payload and
// parameter table at their flash addresses.
bool FlashHoldsImage(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image);
