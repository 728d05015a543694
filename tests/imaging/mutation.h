// What the mutation loops over stored fixtures share: the seed files of a fuzz target, read in name
// order, and a mutator that changes one to four things at a time, biased towards the values where
// lengths, counts and offsets go wrong.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zv::mutation {

using Bytes = std::vector<uint8_t>;

// Every file of Folder, as (file name, bytes), sorted by name so that a fixed random seed gives the
// same mutants on every machine.
inline std::vector<std::pair<std::string, Bytes>> Seeds(const std::string& Folder) {
  std::vector<std::pair<std::string, Bytes>> Out;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
    std::ifstream In(Entry.path(), std::ios::binary);
    Out.emplace_back(Entry.path().filename().string(), Bytes(std::istreambuf_iterator<char>(In), {}));
  }
  std::sort(Out.begin(), Out.end());
  return Out;
}

// One to four of: a flipped bit, an edge value in a byte or in four bytes (either byte order), a byte
// inserted or taken out, the data cut short.
inline Bytes Mutate(Bytes B, std::mt19937& Random, std::span<const uint8_t> ByteEdges,
                    std::span<const uint32_t> WordEdges) {
  const int Steps = 1 + int(Random() % 4);
  for (int s = 0; s < Steps && !B.empty(); ++s) {
    const size_t At = Random() % B.size();
    switch (Random() % 6) {
      case 0: B[At] ^= uint8_t(1u << (Random() % 8)); break;
      case 1: B[At] = ByteEdges[Random() % ByteEdges.size()]; break;
      case 2: {
        const uint32_t v = WordEdges[Random() % WordEdges.size()];
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

}  // namespace zv::mutation
