// Replays the kept inputs of one fuzz target as an ordinary test: the seed corpus and every input
// that once crashed or hung the target. A broken property aborts the process, which fails the test
// with the property on stderr; the file being replayed is printed before each run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

// Regular files whose names do not start with a dot (which marks a folder keeper), in name order
// so a failure reproduces in the same order.
std::vector<fs::path> KeptInputs(const fs::path& folder) {
  std::vector<fs::path> inputs;
  if (!fs::is_directory(folder)) {
    return inputs;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
      inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::vector<uint8_t> ReadAll(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(stream),
                              std::istreambuf_iterator<char>());
}

void ReplayAll(const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    std::vector<uint8_t> bytes = ReadAll(input);
    // std::cout, because the target silences std::cerr.
    std::cout << "replaying " << input.filename().string() << " (" << bytes.size() << " bytes)"
              << std::endl;
    // A copy of exactly the file's size, so a read one byte past the end is caught by the
    // sanitizers as it is under the fuzzer.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    EXPECT_EQ(LLVMFuzzerTestOneInput(exact.get(), bytes.size()), 0) << input;
  }
}

TEST(FuzzReplay, SeedCorpus) {
  const std::vector<fs::path> inputs = KeptInputs(HALVEX_FUZZ_CORPUS_DIR);
  ASSERT_FALSE(inputs.empty()) << "no seeds in " << HALVEX_FUZZ_CORPUS_DIR;
  ReplayAll(inputs);
}

TEST(FuzzReplay, Regressions) {
  // Usually empty; the folder itself must be there, or a wrong path would pass unnoticed.
  ASSERT_TRUE(fs::is_directory(HALVEX_FUZZ_REGRESSIONS_DIR)) << HALVEX_FUZZ_REGRESSIONS_DIR;
  ReplayAll(KeptInputs(HALVEX_FUZZ_REGRESSIONS_DIR));
}

}  // namespace
