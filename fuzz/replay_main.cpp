// SPDX-License-Identifier: MIT
// Runs every file of the given folders (and any files given directly)
// through a fuzz target's entry point once, in name order, the way libFuzzer
// runs a corpus. The entry point aborts on a broken rule; this program names
// the file first, so a failing corpus entry is easy to find. Exit code 0 when
// every input passed; 1 when a folder held no inputs at all.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& where) {
  std::vector<fs::path> inputs;
  if (fs::is_directory(where)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(where)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
  } else if (fs::is_regular_file(where)) {
    inputs.push_back(where);
  }
  return inputs;
}

std::vector<uint8_t> Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> inputs = InputsOf(argv[i]);
    if (inputs.empty()) {
      std::fprintf(stderr, "replay: no inputs in %s\n", argv[i]);
      return 1;
    }
    for (const fs::path& file : inputs) {
      std::fprintf(stderr, "replay: %s\n", file.string().c_str());
      std::vector<uint8_t> data = Contents(file);
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++count;
    }
  }
  std::printf("replay: %zu inputs passed\n", count);
  return 0;
}
