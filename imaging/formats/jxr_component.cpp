#include "imaging/formats/jxr_component.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdio>
#include <new>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

// jxrlib's headers define min and max as macros and much else; they stay in this file alone.
#include <JXRGlue.h>
#undef min
#undef max

namespace zv {

namespace {

const PKPixelFormatGUID* GuidOf(TJxrLayout Layout) {
  switch (Layout) {
    case jlBlackWhite: return &GUID_PKPixelFormatBlackWhite;
    case jlGray8: return &GUID_PKPixelFormat8bppGray;
    case jlGray16: return &GUID_PKPixelFormat16bppGray;
    case jlBGR24: return &GUID_PKPixelFormat24bppBGR;
    case jlRGB24: return &GUID_PKPixelFormat24bppRGB;
    case jlBGR32: return &GUID_PKPixelFormat32bppBGR;
    case jlBGRA32: return &GUID_PKPixelFormat32bppBGRA;
    case jlRGB48: return &GUID_PKPixelFormat48bppRGB;
    case jlRGBA64: return &GUID_PKPixelFormat64bppRGBA;
    case jlCMYK32: return &GUID_PKPixelFormat32bppCMYK;
    default: return nullptr;
  }
}

TJxrLayout LayoutOf(const PKPixelFormatGUID& Guid) {
  for (TJxrLayout L : {jlBlackWhite, jlGray8, jlGray16, jlBGR24, jlRGB24, jlBGR32, jlBGRA32, jlRGB48, jlRGBA64, jlCMYK32})
    if (IsEqualGUID(Guid, *GuidOf(L))) return L;
  return jlUnknown;
}

// An output stream of our own over a growing byte vector (jxrlib's memory stream has a fixed size).
struct TVectorStream {
  std::vector<uint8_t>* Bytes = nullptr;
  size_t Pos = 0;
  bool Closed = false;
};

ERR VsClose(WMPStream** Me) {
  static_cast<TVectorStream*>((*Me)->state.pvObj)->Closed = true;
  delete *Me;
  *Me = nullptr;
  return WMP_errSuccess;
}
Bool VsEos(WMPStream* Me) {
  const auto* S = static_cast<TVectorStream*>(Me->state.pvObj);
  return S->Pos >= S->Bytes->size();
}
ERR VsRead(WMPStream* Me, void* Buffer, size_t Count) {
  auto* S = static_cast<TVectorStream*>(Me->state.pvObj);
  if (Count > S->Bytes->size() || S->Pos > S->Bytes->size() - Count) return WMP_errBufferOverflow;
  std::memcpy(Buffer, S->Bytes->data() + S->Pos, Count);
  S->Pos += Count;
  return WMP_errSuccess;
}
ERR VsWrite(WMPStream* Me, const void* Buffer, size_t Count) {
  auto* S = static_cast<TVectorStream*>(Me->state.pvObj);
  if (S->Pos + Count > S->Bytes->size()) S->Bytes->resize(S->Pos + Count);
  if (Count > 0) std::memcpy(S->Bytes->data() + S->Pos, Buffer, Count);
  S->Pos += Count;
  return WMP_errSuccess;
}
ERR VsSetPos(WMPStream* Me, size_t Pos) {
  static_cast<TVectorStream*>(Me->state.pvObj)->Pos = Pos;
  return WMP_errSuccess;
}
ERR VsGetPos(WMPStream* Me, size_t* Pos) {
  *Pos = static_cast<TVectorStream*>(Me->state.pvObj)->Pos;
  return WMP_errSuccess;
}

WMPStream* MakeVectorStream(TVectorStream* Side) {
  auto* S = new WMPStream();
  std::memset(static_cast<void*>(S), 0, sizeof *S);
  S->state.pvObj = Side;
  S->Close = VsClose;
  S->EOS = VsEos;
  S->Read = VsRead;
  S->Write = VsWrite;
  S->SetPos = VsSetPos;
  S->GetPos = VsGetPos;
  return S;
}

}  // namespace

size_t JxrRowBytes(TJxrLayout Layout, int32_t Width) {
  const size_t W = size_t(std::max(Width, 0));
  switch (Layout) {
    case jlBlackWhite: return (W + 7) / 8;
    case jlGray8: return W;
    case jlGray16: return W * 2;
    case jlBGR24:
    case jlRGB24: return W * 3;
    case jlBGR32:
    case jlBGRA32:
    case jlCMYK32: return W * 4;
    case jlRGB48: return W * 6;
    case jlRGBA64: return W * 8;
    default: return 0;
  }
}

// jxrlib does not survive every damaged file (it reads out of bounds in its entropy decoder), so files
// from outside are opened and decoded in a child process, into memory shared with us; a child that
// fails or dies is a file we refuse.
namespace {

struct TJxrHeader {
  TJxrFrameInfo Info;
  int32_t Ok = 0;
};

// Opens File with jxrlib in this process; Decoder and Stream are released by the caller.
bool OpenHere(std::vector<uint8_t>& File, WMPStream*& Stream, PKImageDecode*& Decoder, TJxrFrameInfo& Info) {
  if (File.empty() || CreateWS_Memory(&Stream, File.data(), File.size()) != WMP_errSuccess ||
      PKImageDecode_Create_WMP(&Decoder) != WMP_errSuccess)
    return false;
  Decoder->fStreamOwner = FALSE;
  if (Decoder->Initialize(Decoder, Stream) != WMP_errSuccess) return false;
  PKPixelFormatGUID Guid;
  I32 W = 0, H = 0;
  Float Rx = 0, Ry = 0;
  U32 Frames = 0;
  if (Decoder->GetPixelFormat(Decoder, &Guid) != WMP_errSuccess || Decoder->GetSize(Decoder, &W, &H) != WMP_errSuccess ||
      W <= 0 || H <= 0 || Decoder->GetResolution(Decoder, &Rx, &Ry) != WMP_errSuccess ||
      Decoder->GetFrameCount(Decoder, &Frames) != WMP_errSuccess)
    return false;
  Info.Width = W;
  Info.Height = H;
  Info.DpiX = Rx;
  Info.DpiY = Ry;
  Info.Layout = LayoutOf(Guid);
  Info.Frames = Frames;
  return true;
}

// A child that takes longer is taken for caught in a loop of the decoder and stopped.
constexpr auto JxrChildTimeLimit = std::chrono::seconds(60);

// Runs Work in a child process; true when it exited with 0 within the time limit.
template <typename TWork>
bool InChild(TWork&& Work) {
  std::fflush(nullptr);
  const pid_t Child = fork();
  if (Child < 0) return false;
  if (Child == 0) {
    // A fault of the decoder ends the child by its signal; the parent's own fatal-signal handlers
    // (crash reports, a test harness's) are not the child's to run.
    for (const int Signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(Signal, SIG_DFL);
    _exit(Work() ? 0 : 1);
  }
  const auto Deadline = std::chrono::steady_clock::now() + JxrChildTimeLimit;
  auto Pause = std::chrono::microseconds(50);
  int Status = 0;
  for (;;) {
    const pid_t Done = waitpid(Child, &Status, WNOHANG);
    if (Done == Child) break;
    if (Done < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() > Deadline) {
      kill(Child, SIGKILL);
      while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    std::this_thread::sleep_for(Pause);
    Pause = std::min(Pause * 2, std::chrono::microseconds(20000));
  }
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

// Memory shared with a child, unmapped on destruction.
struct TSharedBlock {
  void* Memory = MAP_FAILED;
  size_t Size = 0;
  explicit TSharedBlock(size_t N) : Size(N) {
    Memory = mmap(nullptr, N, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  }
  ~TSharedBlock() {
    if (Memory != MAP_FAILED) munmap(Memory, Size);
  }
  TSharedBlock(const TSharedBlock&) = delete;
  TSharedBlock& operator=(const TSharedBlock&) = delete;
  bool Ok() const { return Memory != MAP_FAILED; }
};

}  // namespace

struct TJxrDecoder::TState {
  std::vector<uint8_t> File;
  TJxrFrameInfo Info;
  bool Open = false;
};

TJxrDecoder::TJxrDecoder() : F(std::make_unique<TState>()) {}
TJxrDecoder::~TJxrDecoder() = default;

bool TJxrDecoder::Open(std::vector<uint8_t> File, TJxrFrameInfo& Info) {
  F->File = std::move(File);
  F->Open = false;
  TSharedBlock Shared(sizeof(TJxrHeader));
  if (!Shared.Ok()) return false;
  auto* Header = new (Shared.Memory) TJxrHeader();
  const bool Ok = InChild([&] {
    WMPStream* Stream = nullptr;
    PKImageDecode* Decoder = nullptr;
    Header->Ok = OpenHere(F->File, Stream, Decoder, Header->Info) ? 1 : 0;
    return Header->Ok != 0;
  });
  if (!Ok || Header->Ok == 0) return false;
  Info = F->Info = Header->Info;
  F->Open = true;
  return true;
}

bool TJxrDecoder::Decode(uint8_t* Rows, size_t Stride) {
  const TJxrFrameInfo& I = F->Info;
  if (!F->Open || I.Layout == jlUnknown || Stride < JxrRowBytes(I.Layout, I.Width)) return false;
  // jxrlib writes whole macroblock rows of 16 lines and wants its stride a multiple of 128 bytes.
  const size_t Own = (Stride + 127) / 128 * 128;
  const size_t Lines = (size_t(I.Height) + 15) / 16 * 16;
  TSharedBlock Shared(Own * Lines);
  if (!Shared.Ok()) return false;
  const bool Ok = InChild([&] {
    WMPStream* Stream = nullptr;
    PKImageDecode* Decoder = nullptr;
    TJxrFrameInfo Again;
    if (!OpenHere(F->File, Stream, Decoder, Again) || Again.Width != I.Width || Again.Height != I.Height) return false;
    const PKRect Rect = {0, 0, I.Width, I.Height};
    return Decoder->Copy(Decoder, &Rect, static_cast<U8*>(Shared.Memory), U32(Own)) == WMP_errSuccess;
  });
  if (!Ok) return false;
  const size_t Row = JxrRowBytes(I.Layout, I.Width);
  for (int32_t y = 0; y < I.Height; ++y)
    std::memcpy(Rows + size_t(y) * Stride, static_cast<uint8_t*>(Shared.Memory) + size_t(y) * Own, Row);
  return true;
}

namespace {

// Splits Blocks macroblocks into Divisions + 1 runs (at most one run a macroblock); gives the number of
// divisions kept and writes each run's length.
U32 SplitTiles(uint16_t Divisions, int32_t Pixels, U32* Sizes) {
  const U32 Blocks = U32((Pixels + 15) / 16);
  const U32 Kept = std::min<U32>(Divisions, Blocks - 1);
  for (U32 i = 0; i <= Kept; ++i) Sizes[i] = Blocks / (Kept + 1) + (i < Blocks % (Kept + 1) ? 1 : 0);
  return Kept;
}

}  // namespace

bool JxrSetEncoderOption(TJxrEncodeSettings& S, const char* Name, TWicVariant V) {
  const std::string N = Name;
  auto Is = [&](uint16_t Type, double Low, double High) { return V.Type == Type && V.Value >= Low && V.Value <= High; };
  if (N == "ImageQuality" && Is(wvtFloat, 0, 1))
    S.Quality = V.Value;
  else if (N == "Lossless" && Is(wvtBool, -1, 0))
    S.Lossless = V.Value != 0;
  else if (N == "UseCodecOptions" && Is(wvtBool, -1, 0))
    S.UseCodecOptions = V.Value != 0;
  else if (N == "Quality" && Is(wvtByte, 1, 255))
    S.QuantIndex = uint8_t(V.Value);
  else if (N == "Overlap" && Is(wvtByte, 0, 2))
    S.Overlap = uint8_t(V.Value);
  else if (N == "Subsampling" && Is(wvtByte, 0, 3))
    S.Subsampling = uint8_t(V.Value);
  else if (N == "HorizontalTileSlices" && Is(wvtWord, 0, MAX_TILES - 1))
    S.HorizontalTileSlices = uint16_t(V.Value);
  else if (N == "VerticalTileSlices" && Is(wvtWord, 0, MAX_TILES - 1))
    S.VerticalTileSlices = uint16_t(V.Value);
  else if (N == "FrequencyOrder" && Is(wvtBool, -1, 0))
    S.FrequencyOrder = V.Value != 0;
  else
    return false;
  return true;
}

bool JxrEncode(const TJxrEncodeSettings& S, const uint8_t* Rows, size_t Stride, std::vector<uint8_t>& Out) {
  Out.clear();
  const PKPixelFormatGUID* Guid = GuidOf(S.Layout);
  if (Guid == nullptr || S.Width <= 0 || S.Height <= 0 || Stride < JxrRowBytes(S.Layout, S.Width)) return false;
  CWMIStrCodecParam P;
  std::memset(static_cast<void*>(&P), 0, sizeof P);
  const bool Grey = S.Layout == jlBlackWhite || S.Layout == jlGray8 || S.Layout == jlGray16;
  // The codec options replace what the quality chooses; lossless keeps every sample whatever they say.
  const bool Own = S.UseCodecOptions && !S.Lossless;
  static const COLORFORMAT BySubsampling[] = {Y_ONLY, YUV_420, YUV_422, YUV_444};
  P.cfColorFormat = Grey ? Y_ONLY : S.Layout == jlCMYK32 ? CMYK : Own ? BySubsampling[std::min<uint8_t>(S.Subsampling, 3)] : YUV_444;
  P.bdBitDepth = BD_LONG;
  P.bfBitstreamFormat = S.FrequencyOrder ? FREQUENCY : SPATIAL;
  static const OVERLAP ByOverlap[] = {OL_NONE, OL_ONE, OL_TWO};
  P.olOverlap = S.UseCodecOptions ? ByOverlap[std::min<uint8_t>(S.Overlap, 2)] : OL_ONE;
  P.sbSubband = SB_ALL;
  P.bBlackWhite = S.Layout == jlBlackWhite ? TRUE : FALSE;
  const double Q = std::clamp(S.Quality, 0.0, 1.0);
  P.uiDefaultQPIndex = S.Lossless ? 1 : Own ? U8(std::max<uint8_t>(S.QuantIndex, 1)) : U8(std::lround(1 + (1 - Q) * 254));
  P.cNumOfSliceMinus1V = SplitTiles(S.VerticalTileSlices, S.Width, P.uiTileX);
  P.cNumOfSliceMinus1H = SplitTiles(S.HorizontalTileSlices, S.Height, P.uiTileY);
  TVectorStream Side{&Out, 0, false};
  WMPStream* Stream = MakeVectorStream(&Side);
  PKImageEncode* Encoder = nullptr;
  bool Ok = PKImageEncode_Create_WMP(&Encoder) == WMP_errSuccess &&
            Encoder->Initialize(Encoder, Stream, &P, sizeof P) == WMP_errSuccess &&
            Encoder->SetPixelFormat(Encoder, *Guid) == WMP_errSuccess && IsEqualGUID(Encoder->guidPixFormat, *Guid) &&
            Encoder->SetSize(Encoder, S.Width, S.Height) == WMP_errSuccess &&
            Encoder->SetResolution(Encoder, Float(S.DpiX), Float(S.DpiY)) == WMP_errSuccess;
  if (Ok) {
    // WritePixels takes a non-const buffer; it is only read.
    std::vector<uint8_t> Copy(Rows, Rows + Stride * size_t(S.Height - 1) + JxrRowBytes(S.Layout, S.Width));
    Ok = Encoder->WritePixels(Encoder, U32(S.Height), Copy.data(), U32(Stride)) == WMP_errSuccess;
  }
  // Releasing the encoder finishes the file and closes the stream; a stream it never took is closed here.
  if (Encoder != nullptr) Encoder->Release(&Encoder);
  if (!Side.Closed) Stream->Close(&Stream);
  if (!Ok) Out.clear();
  return Ok && !Out.empty();
}

}  // namespace zv
