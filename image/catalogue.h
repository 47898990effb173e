// The model catalogue: product family letter and model index to model name.
#pragma once

#include <cstdint>

struct ModelFamily {
  uint32_t family;  // character code: 'Z' (0x5A) or 'V' (0x56)
  int32_t modelCount;
  const char* const* names;  // names[0] is model 1; a null entry follows the last
};

extern const ModelFamily modelCatalogue[2];

// The name of model modelIndex (from 1) of family, or null when the pair is unknown.
const char* FindModelName(uint32_t family, int modelIndex);
