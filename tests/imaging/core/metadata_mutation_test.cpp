// A fixed-seed mutation loop over the stored IPTC, maker-note, annotation and profile fixtures (the seeds
// of their fuzz targets): every mutant must keep the containers' promises (metadata_checks.h), and the
// sanitizer run catches any read or write outside a buffer on the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imaging/proc/bitmap_copy.h"
#include "tests/imaging/metadata_checks.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;
using TCheck = const char* (*)(const uint8_t*, size_t);

std::vector<std::pair<std::string, Bytes>> Seeds(const std::string& Target) {
  std::vector<std::pair<std::string, Bytes>> Out;
  for (const auto& Entry : std::filesystem::directory_iterator(std::string(ZV_FUZZ_DIR) + "/" + Target + "/seeds")) {
    std::ifstream In(Entry.path(), std::ios::binary);
    Out.emplace_back(Entry.path().filename().string(), Bytes(std::istreambuf_iterator<char>(In), {}));
  }
  std::sort(Out.begin(), Out.end());
  return Out;
}

// One to four of: a flipped bit, an edge value in a byte or in four bytes (where lengths and counts
// live), a byte inserted or taken out, the data cut short.
Bytes Mutate(Bytes B, std::mt19937& Random) {
  const int Steps = 1 + int(Random() % 4);
  for (int s = 0; s < Steps && !B.empty(); ++s) {
    const size_t At = Random() % B.size();
    switch (Random() % 6) {
      case 0: B[At] ^= uint8_t(1u << (Random() % 8)); break;
      case 1: {
        static const uint8_t Edges[] = {0x00, 0x01, 0x1C, 0x7F, 0x80, 0xFE, 0xFF};
        B[At] = Edges[Random() % std::size(Edges)];
        break;
      }
      case 2: {
        static const uint32_t Edges[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFC};
        const uint32_t v = Edges[Random() % std::size(Edges)];
        for (size_t k = 0; k < 4 && At + k < B.size(); ++k) B[At + k] = uint8_t(Random() % 2 ? v >> (8 * k) : v >> (24 - 8 * k));
        break;
      }
      case 3: B.insert(B.begin() + int64_t(At), uint8_t(Random())); break;
      case 4: B.erase(B.begin() + int64_t(At)); break;
      default: B.resize(At); break;
    }
  }
  return B;
}

void RunMutations(const std::string& Target, TCheck Check, int PerSeed) {
  std::mt19937 Random(24);
  const auto Fixtures = Seeds(Target);
  ASSERT_FALSE(Fixtures.empty()) << Target;
  for (const auto& [Name, Seed] : Fixtures) {
    const char* Broken = Check(Seed.data(), Seed.size());
    ASSERT_EQ(Broken, nullptr) << Name << ": " << Broken;
    for (int i = 0; i < PerSeed; ++i) {
      const Bytes Mutant = Mutate(Seed, Random);
      Broken = Check(Mutant.data(), Mutant.size());
      ASSERT_EQ(Broken, nullptr) << Name << " mutant " << i << ": " << Broken;
    }
  }
}

TEST(MetadataMutations, Iptc) { RunMutations("iptc", metadata_checks::CheckIptc, 600); }

TEST(MetadataMutations, MakerNotes) { RunMutations("maker_note", metadata_checks::CheckMakerNote, 1500); }

TEST(MetadataMutations, Annotations) {
  InstallPixelRoutineHooks();
  RunMutations("annotations", metadata_checks::CheckAnnotations, 1500);
  RemovePixelRoutineHooks();
}

TEST(MetadataMutations, ColourProfiles) { RunMutations("icc_profile", metadata_checks::CheckIccProfile, 30); }

}  // namespace
