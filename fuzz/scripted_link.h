#pragma once

#include <cstddef>
#include <cstdint>

// The bytes the "switch" sends from now on.
void SetScript(const uint8_t* data, size_t size);
