// The replay driver of the ordinary build: feeds every file of the folders (or the files) named on the
// command line to the target's LLVMFuzzerTestOneInput, in name order, naming each before it runs. A
// fault ends the program through the sanitizers or an abort; a folder that cannot be read, or a run
// without a single seed, fails it too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* Argc, char*** Argv);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& File) {
  std::ifstream In(File, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot read %s\n", File.c_str());
    return false;
  }
  std::vector<char> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  std::printf("replay %s (%zu bytes)\n", File.c_str(), Bytes.size());
  std::fflush(stdout);
  // A copy of exactly the file's size, so that a read past its end is caught.
  std::vector<uint8_t> Data(Bytes.begin(), Bytes.end());
  LLVMFuzzerTestOneInput(Data.empty() ? nullptr : Data.data(), Data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  int Count = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path Path(argv[i]);
    std::error_code Error;
    if (!fs::is_directory(Path, Error)) {
      if (!Replay(Path)) return 1;
      ++Count;
      continue;
    }
    std::vector<fs::path> Files;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Path, Error))
      if (Entry.is_regular_file() && Entry.path().filename().string()[0] != '.') Files.push_back(Entry.path());
    if (Error) {
      std::fprintf(stderr, "cannot list %s: %s\n", Path.c_str(), Error.message().c_str());
      return 1;
    }
    std::sort(Files.begin(), Files.end());
    for (const fs::path& File : Files) {
      if (!Replay(File)) return 1;
      ++Count;
    }
  }
  if (Count == 0) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  std::printf("%d inputs replayed\n", Count);
  return 0;
}
