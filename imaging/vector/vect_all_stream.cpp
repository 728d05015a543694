// The combined stream of a vector view: the view's layers file and the objects' "IEV" stream behind a
// 32-bit position field. The field counts from where the combined stream starts, so a combined stream
// written into the middle of another stream neither overwrites what stands before it nor reads from it.
#include <algorithm>
#include <cstdint>

#include "imaging/vector/imaging_vect.h"
#include "platform/streams.h"

namespace zv {

namespace {

// The object stream's position relative to Start, or -1 when the field cannot be read or names no
// place inside the stream.
int64_t ReadObjectsPosition(TStream* Stream, int64_t Start) {
  uint8_t Field[4];
  if (Stream->Read(Field, 4) != 4) return -1;
  const int32_t P = int32_t(uint32_t(Field[0]) | uint32_t(Field[1]) << 8 | uint32_t(Field[2]) << 16 |
                            uint32_t(Field[3]) << 24);
  if (P < 4 || Start + int64_t(P) > Stream->Size()) return -1;
  return P;
}

void WriteI32(TStream* Stream, int32_t V) {
  const uint8_t Field[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
  Stream->WriteBuffer(Field, 4);
}

}  // namespace

bool IsAllStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  struct TRestore {
    TStream* S;
    int64_t At;
    ~TRestore() { S->SetPosition(At); }
  } Restore{Stream, Start};
  const int64_t P = ReadObjectsPosition(Stream, Start);
  if (P < 0 || !IsLayersStream(Stream)) return false;
  Stream->SetPosition(Start + P);
  return IsIevStream(Stream);
}

void TImagingVect::SaveAllToStream(TStream* Stream, int32_t Compression) {
  const int64_t Start = Stream->Position();
  WriteI32(Stream, 0);
  SaveLayersToStream(Stream, Compression);
  const int64_t P = Stream->Position();
  if (P - Start > INT32_MAX) throw EWriteError("Stream write error");
  Stream->SetPosition(Start);
  WriteI32(Stream, int32_t(P - Start));
  Stream->SetPosition(P);
  SaveObjectsToStream(Stream);
}

bool TImagingVect::LoadAllFromStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  const int64_t P = ReadObjectsPosition(Stream, Start);
  if (P < 0 || !LoadLayersFromStream(Stream)) {
    Stream->SetPosition(Start);
    return false;
  }
  Stream->SetPosition(Start + P);
  if (LoadObjectsFromStream(Stream)) return true;
  Stream->SetPosition(Start);
  return false;
}

bool TImagingVect::LoadAllFromFile(const std::string& FileName) {
  if (FileName.empty()) return false;
  TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadAllFromStream(&File);
}

TRect TImagingVect::GetObjectsExtent() {
  TRect R{0, 0, 0, 0};
  for (const int32_t Hobj : FOrder) {
    const TIEVObjectData& O = FObjects[size_t(Hobj)];
    R.Right = std::max(R.Right, std::max(O.X1, O.X2) + 1);
    R.Bottom = std::max(R.Bottom, std::max(O.Y1, O.Y2) + 1);
  }
  return R;
}

}  // namespace zv
