// Runs a fuzz target over the inputs named on the command line, without libFuzzer: each
// argument is a file, or a folder whose files are each one input (a kept corpus). The
// inputs run in name order, so that a failure names the same input on every run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunInput(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", path.string().c_str());
    return false;
  }
  std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path named(argv[i]);
    std::error_code error;
    std::vector<std::filesystem::path> paths;
    if (std::filesystem::is_directory(named, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(named, error)) {
        if (entry.is_regular_file()) paths.push_back(entry.path());
      }
      if (error) {
        std::fprintf(stderr, "cannot read the folder %s\n", named.string().c_str());
        return 1;
      }
      std::sort(paths.begin(), paths.end());
    } else {
      paths.push_back(named);
    }
    for (const auto& path : paths) {
      if (!RunInput(path)) return 1;
      ++inputs;
    }
  }
  std::printf("replayed %zu inputs\n", inputs);
  return 0;
}
