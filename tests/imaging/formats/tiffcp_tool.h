// tiffcp as the independent writer of TIFF strips: an uncompressed TIFF recoded by it, and its first
// strip found again through our own container. Tests only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/formats/tiff_container.h"
#include "platform/streams.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv::libtiff {

using Bytes = std::vector<uint8_t>;

// The first strip of a file tiffcp wrote, found through our own container, with the file's FillOrder
// and T4Options.
struct TiffcpResult {
  bool Ok = false;
  std::string Output;
  Bytes Strip;
  int32_t FillOrder = 1;
  int32_t T4Options = 0;
};

// Runs "tiffcp -c Codec -r <all rows>" (plus Extra options) on an uncompressed TIFF.
inline TiffcpResult Tiffcp(const Bytes& Uncompressed, const std::string& Codec, const std::string& Name,
                           const std::string& Extra = "") {
  TiffcpResult R;
  const std::string Tool = oracle::FindProgram("tiffcp");
  if (Tool.empty()) {
    R.Output = "tiffcp not found";
    return R;
  }
  oracle::MakeDirectory(ZV_TEST_TMP);
  const std::string In = oracle::TempPath(Name + "_in.tif"), Out = oracle::TempPath(Name + "_out.tif");
  oracle::WriteFile(In, Uncompressed);
  std::remove(Out.c_str());
  const oracle::RunResult Run =
      oracle::Run(oracle::Quoted(Tool) + " -c " + Codec + " -r 1000000 " + Extra + " " + oracle::Quoted(In) + " " +
                  oracle::Quoted(Out));
  R.Output = Run.Output;
  if (Run.Status != 0) return R;
  const Bytes File = oracle::ReadFile(Out);
  TMemoryStream S;
  if (!File.empty()) S.WriteBuffer(File.data(), int64_t(File.size()));
  TiffDirectory Dir;
  Dir.Stream = &S;
  uint32_t First = 0;
  int32_t Count = 0;
  if (!TiffReadHeader(Dir, First) || !TiffReadIFD(0, First, Dir, Count)) return R;
  const std::vector<int32_t> Offsets = TiffGetTagArray(Dir, 273), Sizes = TiffGetTagArray(Dir, 279);
  if (Offsets.size() != 1 || Sizes.size() != 1) {
    R.Output += " (not one strip)";
    return R;
  }
  const size_t At = uint32_t(Offsets[0]), Size = uint32_t(Sizes[0]);
  if (At + Size > File.size()) return R;
  R.Strip.assign(File.begin() + long(At), File.begin() + long(At + Size));
  R.FillOrder = TiffGetTag(Dir, 266, 1);
  R.T4Options = TiffGetTag(Dir, 292, 0);
  R.Ok = true;
  return R;
}

}  // namespace zv::libtiff
