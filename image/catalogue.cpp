#include "image/catalogue.h"

namespace {
const char* const kFamilyZ[] = {"KLM4400T", "KLM220T", "KLM4400S", nullptr};
const char* const kFamilyV[] = {"KRX4400T", "KLM4412T", "KLM8800T",
                                "KLM8812T", "KLM8824T", nullptr};
}  // namespace

const ModelFamily modelCatalogue[2] = {{0x5A, 3, kFamilyZ}, {0x56, 5, kFamilyV}};

const char* FindModelName(uint32_t family, int modelIndex) {
  for (const ModelFamily& f : modelCatalogue) {
    if (f.family != family) continue;
    if (modelIndex >= 1 && modelIndex <= f.modelCount) return f.names[modelIndex - 1];
    return nullptr;
  }
  return nullptr;
}
