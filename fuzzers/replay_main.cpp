// Replays saved inputs through a fuzz target's entry point without the
// fuzzing engine, so that the plain and sanitizer builds of the test suite
// run every input that once broke a reader.
//
// Usage: replay_<target> PATH...
// Each PATH is a file or a directory whose regular files are replayed in
// name order. A directory that does not exist is skipped (the generated
// seeds, say, before they are made). Fails when no input was replayed at all,
// so that a misplaced regression folder cannot pass silently.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> inputs_in(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    files.push_back(path);
  } else if (std::filesystem::is_directory(path, error)) {
    for (const auto& entry : std::filesystem::directory_iterator(path, error))
      if (entry.is_regular_file(error)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
  }
  return files;
}

bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that a read past its end is seen
  // by the address sanitizer as it would be under the fuzzer.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  std::printf("replaying %s (%zu bytes)\n", file.c_str(), data.size());
  std::fflush(stdout);
  static uint8_t no_bytes = 0;  // the fuzzer, too, passes a valid pointer for none
  LLVMFuzzerTestOneInput(data.empty() ? &no_bytes : data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& file : inputs_in(argv[i])) {
      if (!replay(file)) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
