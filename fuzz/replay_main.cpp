// Runs a fuzz target over the files named on the command line, without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    FILE* f = fopen(argv[i], "rb");
    if (!f) {
      fprintf(stderr, "cannot open %s\n", argv[i]);
      return 1;
    }
    std::vector<uint8_t> data;
    int c;
    while ((c = fgetc(f)) != EOF) data.push_back(static_cast<uint8_t>(c));
    fclose(f);
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  return 0;
}
