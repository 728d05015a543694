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
#include "tests/imaging/mutation.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;
using TCheck = const char* (*)(const uint8_t*, size_t);

// Lengths and counts of these blocks live in one, two and four bytes.
constexpr uint8_t ByteEdges[] = {0x00, 0x01, 0x1C, 0x7F, 0x80, 0xFE, 0xFF};
constexpr uint32_t WordEdges[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFC};

void RunMutations(const std::string& Target, TCheck Check, int PerSeed) {
  std::mt19937 Random(24);
  const auto Fixtures = mutation::Seeds(std::string(ZV_FUZZ_DIR) + "/" + Target + "/seeds");
  ASSERT_FALSE(Fixtures.empty()) << Target;
  for (const auto& [Name, Seed] : Fixtures) {
    const char* Broken = Check(Seed.data(), Seed.size());
    ASSERT_EQ(Broken, nullptr) << Name << ": " << Broken;
    for (int i = 0; i < PerSeed; ++i) {
      const Bytes Mutant = mutation::Mutate(Seed, Random, ByteEdges, WordEdges);
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
