// Object streams built byte by byte, as older writers laid them out, for the stream tests, the mutation
// loop and the fuzz seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/zlib_streams.h"
#include "platform/streams.h"

namespace zv::iev_bytes {

using Bytes = std::vector<uint8_t>;

inline void U8(Bytes& B, uint8_t V) { B.push_back(V); }
inline void I32(Bytes& B, int32_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(uint8_t(uint32_t(V) >> (8 * i)));
}
inline void F64(Bytes& B, double V) {
  uint64_t Bits;
  std::memcpy(&Bits, &V, 8);
  for (int i = 0; i < 8; ++i) B.push_back(uint8_t(Bits >> (8 * i)));
}
inline void Raw(Bytes& B, const void* P, size_t N) {
  const auto* C = static_cast<const uint8_t*>(P);
  B.insert(B.end(), C, C + N);
}
inline void Text(Bytes& B, const std::string& S) {
  I32(B, int32_t(S.size()));
  Raw(B, S.data(), S.size());
}

// The bytes deflated as one zlib stream.
inline Bytes Deflate(const Bytes& Plain) {
  TMemoryStream Out;
  {
    TZCompressionStream Z(&Out, zcDefault);
    Z.WriteBuffer(Plain.data(), int64_t(Plain.size()));
    Z.Finish();
  }
  const auto* P = static_cast<const uint8_t*>(Out.Memory());
  return Bytes(P, P + Out.Size());
}

// The fields every record of a version before '<' starts with (no handle, no shadow, no user data):
// box, kind, name, ident, pen colour, pen style, pen width, brush colour, brush style, style.
inline void OldRecordHead(Bytes& B, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Kind,
                          const std::string& Name = "") {
  I32(B, X1);
  I32(B, Y1);
  I32(B, X2);
  I32(B, Y2);
  U8(B, Kind);
  Text(B, Name);
  I32(B, 7);     // Ident
  I32(B, 0xFF);  // PenColor
  U8(B, 0);      // PenStyle
  I32(B, 3);     // PenWidth
  I32(B, 0xFF00);  // BrushColor
  U8(B, 0);        // BrushStyle
  U8(B, 15);       // Style
}

// A whole block: "IEV", Version, the length (filled in), the scale (int32 for version '1'), the picture
// entries as given and the deflated object section.
inline Bytes Block(char Version, double Scale, const std::vector<Bytes>& Entries, const Bytes& Section) {
  Bytes B = {'I', 'E', 'V', uint8_t(Version)};
  I32(B, 0);
  if (Version == '1') I32(B, int32_t(Scale));
  else F64(B, Scale);
  I32(B, int32_t(Entries.size()));
  for (const Bytes& E : Entries) Raw(B, E.data(), E.size());
  const Bytes Z = Deflate(Section);
  Raw(B, Z.data(), Z.size());
  const int32_t Length = int32_t(B.size());
  std::memcpy(B.data() + 4, &Length, 4);
  return B;
}

}  // namespace zv::iev_bytes
