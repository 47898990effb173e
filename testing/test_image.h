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
