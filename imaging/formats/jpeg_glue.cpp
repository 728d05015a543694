#include "imaging/formats/jpeg_glue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/icc_profile.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

namespace {

// "?" stands where the library's own text would carry a number or a name.
constexpr const char* JpegMessages[] = {
    "Bogus message code ?",  // 0
    "Sorry, there are legal restrictions on arithmetic coding",  // 1
    "ALIGN_TYPE is wrong, please fix",  // 2
    "MAX_ALLOC_CHUNK is wrong, please fix",  // 3
    "Bogus buffer control mode",  // 4
    "Invalid component ID ? in SOS",  // 5
    "DCT coefficient out of range",  // 6
    "IDCT output block size ? not supported",  // 7
    "Bogus Huffman table definition",  // 8
    "Bogus input colorspace",  // 9
    "Bogus JPEG colorspace",  // 10
    "Bogus marker length",  // 11
    "Wrong JPEG library version: library is ?, caller expects ?",  // 12
    "Sampling factors too large for interleaved scan",  // 13
    "Invalid memory pool code ?",  // 14
    "Unsupported JPEG data precision ?",  // 15
    "Invalid progressive parameters Ss=? Se=? Ah=? Al=?",  // 16
    "Invalid progressive parameters at scan script entry ?",  // 17
    "Bogus sampling factors",  // 18
    "Invalid scan script at entry ?",  // 19
    "Improper call to JPEG library in state ?",  // 20
    "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?",  // 21
    "Bogus virtual array access",  // 22
    "Buffer passed to JPEG library is too small",  // 23
    "Suspension not allowed here",  // 24
    "CCIR601 sampling not implemented yet",  // 25
    "Too many color components: ?, max ?",  // 26
    "Unsupported color conversion request",  // 27
    "Bogus DAC index ?",  // 28
    "Bogus DAC value 0x?",  // 29
    "Bogus DHT index ?",  // 30
    "Bogus DQT index ?",  // 31
    "Empty JPEG image (DNL not supported)",  // 32
    "Read from EMS failed",  // 33
    "Write to EMS failed",  // 34
    "Didn't expect more than one scan",  // 35
    "Input file read error",  // 36
    "Output file write error --- out of disk space?",  // 37
    "Fractional sampling not implemented yet",  // 38
    "Huffman code size table overflow",  // 39
    "Missing Huffman code table entry",  // 40
    "Maximum supported image dimension is ? pixels",  // 41
    "Empty input file",  // 42
    "Premature end of input file",  // 43
    "Cannot transcode due to multiple use of quantization table ?",  // 44
    "Scan script does not transmit all data",  // 45
    "Invalid color quantization mode change",  // 46
    "Not implemented yet",  // 47
    "Requested feature was omitted at compile time",  // 48
    "Backing store not supported",  // 49
    "Huffman table was not defined",  // 50
    "JPEG datastream contains no image",  // 51
    "Quantization table was not defined",  // 52
    "Not a JPEG file: starts with ?",  // 53
    "Insufficient memory (case ?)",  // 54
    "Cannot quantize more than ? color components",  // 55
    "Cannot quantize to fewer than ? colors",  // 56
    "Cannot quantize to more than ? colors",  // 57
    "Invalid JPEG file structure: two SOF markers",  // 58
    "Invalid JPEG file structure: missing SOS marker",  // 59
    "Unsupported JPEG process: SOF type ?",  // 60
    "Invalid JPEG file structure: two SOI markers",  // 61
    "Invalid JPEG file structure: SOS before SOF",  // 62
    "Failed to create temporary file ?",  // 63
    "Read failed on temporary file",  // 64
    "Seek failed on temporary file",  // 65
    "Write failed on temporary file --- out of disk space?",  // 66
    "Application transferred too few scanlines",  // 67
    "Unsupported marker type ?",  // 68
    "Virtual array controller messed up",  // 69
    "Image too wide for this implementation",  // 70
    "Read from XMS failed",  // 71
    "Write to XMS failed",  // 72
    "",  // 73
    "",  // 74
    "Caution: quantization tables are too coarse for baseline JPEG",  // 75
    "Adobe APP14 marker: version ?, flags ?, transform ?",  // 76
    "Unknown APP0 marker (not JFIF), length ?",  // 77
    "Unknown APP14 marker (not Adobe), length ?",  // 78
    "Define Arithmetic Table ?",  // 79
    "Define Huffman Table ?",  // 80
    "Define Quantization Table ?  precision ?",  // 81
    "Define Restart Interval ?",  // 82
    "Freed EMS handle ?",  // 83
    "Obtained EMS handle ?",  // 84
    "End Of Image",  // 85
    "?",  // 86
    "JFIF APP0 marker: version ?, density ?",  // 87
    "Warning: thumbnail image size does not match data length ?",  // 88
    "JFIF extension marker: type ?, length ?",  // 89
    "with ? x ? thumbnail image",  // 90
    "Miscellaneous marker ?, length ?",  // 91
    "Unexpected marker ?",  // 92
    "?",  // 93
    "Quantizing to ? = ?*?*? colors",  // 94
    "Quantizing to ? colors",  // 95
    "Selected ? colors for quantization",  // 96
    "At marker ?, recovery action ?",  // 97
    "RST?",  // 98
    "Smoothing not supported with nonstandard sampling ratios",  // 99
    "Start Of Frame ?: width=?, height=?, components=?",  // 100
    "Component ?: ?hx?v q=?",  // 101
    "Start of Image",  // 102
    "Start Of Scan: ? components",  // 103
    "Component ?: dc=? ac=?",  // 104
    "Ss=?, Se=?, Ah=?, Al=?",  // 105
    "Closed temporary file ?",  // 106
    "Opened temporary file ?",  // 107
    "JFIF extension marker: JPEG-compressed thumbnail image, length ?",  // 108
    "JFIF extension marker: palette thumbnail image, length ?",  // 109
    "JFIF extension marker: RGB thumbnail image, length ?",  // 110
    "Unrecognized component IDs ? ? ?, assuming YCbCr",  // 111
    "Freed XMS handle ?",  // 112
    "Obtained XMS handle ?",  // 113
    "Unknown Adobe color transform code ?",  // 114
    "Inconsistent progression sequence for component ? coefficient ?",  // 115
    "Corrupt JPEG data: ? extraneous bytes before marker ?",  // 116
    "Corrupt JPEG data: premature end of data segment",  // 117
    "Corrupt JPEG data: bad Huffman code",  // 118
    "Warning: unknown JFIF revision number ?",  // 119
    "Premature end of JPEG file",  // 120
    "Corrupt JPEG data: found marker ? instead of RST?",  // 121
    "Invalid SOS parameters for sequential JPEG",  // 122
    "Application transferred too many scanlines",  // 123
};
static_assert(std::size(JpegMessages) == 124);

TJpegErrorManager* ErrorManagerOf(j_common_ptr Info) { return reinterpret_cast<TJpegErrorManager*>(Info->err); }

// Never returns to the library: the jump point of the guarded call takes over, also for code 67, whose
// caller then only sees the abort byte.
[[noreturn]] void JpegErrorExit(j_common_ptr Info) {
  TJpegErrorManager* Err = ErrorManagerOf(Info);
  if (Err->Abort != nullptr) *Err->Abort = 1;
  // An error outside a guarded call has nowhere to go: the library's state cannot be trusted.
  if (!Err->Armed) std::abort();
  std::longjmp(Err->Jump, 1);
}

void JpegEmitMessage(j_common_ptr Info, int Level) {
  if (Level != -1) return;
  TJpegErrorManager* Err = ErrorManagerOf(Info);
  ++Err->WarningCount;
  Err->LastWarningCode = Info->err->msg_code;
  if (Info->err->msg_code == JpegCodeHitMarker) Err->HitMarker = true;
}

void JpegOutputMessage(j_common_ptr) {}

void JpegFormatMessage(j_common_ptr, char* Buffer) { Buffer[0] = 0; }

void JpegResetErrorManager(j_common_ptr Info) {
  TJpegErrorManager* Err = ErrorManagerOf(Info);
  Err->WarningCount = 0;
  Err->LastWarningCode = 0;
  Err->HitMarker = false;
  Info->err->msg_code = 0;
  Info->err->num_warnings = 0;
}

// ---- Source ---------------------------------------------------------------------------------------------

void SourceInit(j_decompress_ptr Info) { JpegSourceOf(Info)->StartOfFile = 1; }

boolean SourceFill(j_decompress_ptr Info) {
  TJpegSource* Src = JpegSourceOf(Info);
  int64_t Got = 0;
  try {
    Got = Src->Stream->Read(Src->Buffer, JpegIOBufferSize);
  } catch (...) {
    Got = 0;
  }
  if (Got <= 0) {
    if (Src->StartOfFile != 0 && Src->Abort != nullptr) *Src->Abort = 1;
    Src->Buffer[0] = 0xFF;
    Src->Buffer[1] = JPEG_EOI;
    Got = 2;
    Src->EndSupplied = true;
  }
  Src->Pub.next_input_byte = Src->Buffer;
  Src->Pub.bytes_in_buffer = size_t(Got);
  Src->StartOfFile = 0;
  return TRUE;
}

void SourceSkip(j_decompress_ptr Info, long Count) {
  if (Count <= 0) return;
  TJpegSource* Src = JpegSourceOf(Info);
  while (Count > long(Src->Pub.bytes_in_buffer)) {
    Count -= long(Src->Pub.bytes_in_buffer);
    Src->Pub.fill_input_buffer(Info);
  }
  Src->Pub.next_input_byte += Count;
  Src->Pub.bytes_in_buffer -= size_t(Count);
}

void SourceTerm(j_decompress_ptr) {}

// ---- Destination ------------------------------------------------------------------------------------------

TJpegDestination* DestinationOf(j_compress_ptr Info) { return reinterpret_cast<TJpegDestination*>(Info->dest); }

void WriteOut(TJpegDestination* Dest, int64_t Count) {
  int64_t Written = 0;
  try {
    Written = Dest->Stream->Write(Dest->Buffer, Count);
  } catch (...) {
    Written = 0;
  }
  if (Written != Count && Dest->Abort != nullptr) *Dest->Abort = 1;
}

void DestinationInit(j_compress_ptr Info) {
  TJpegDestination* Dest = DestinationOf(Info);
  if (Dest->Buffer == nullptr) Dest->Buffer = static_cast<uint8_t*>(std::malloc(JpegIOBufferSize));
  if (Dest->Buffer == nullptr) {
    // The library's own out-of-memory error, raised through the error manager.
    Info->err->msg_code = JERR_OUT_OF_MEMORY;
    Info->err->error_exit(reinterpret_cast<j_common_ptr>(Info));
  }
  Dest->Pub.next_output_byte = Dest->Buffer;
  Dest->Pub.free_in_buffer = JpegIOBufferSize;
}

boolean DestinationEmpty(j_compress_ptr Info) {
  TJpegDestination* Dest = DestinationOf(Info);
  WriteOut(Dest, JpegIOBufferSize);
  Dest->Pub.next_output_byte = Dest->Buffer;
  Dest->Pub.free_in_buffer = JpegIOBufferSize;
  return TRUE;
}

void DestinationTerm(j_compress_ptr Info) {
  TJpegDestination* Dest = DestinationOf(Info);
  const int64_t Used = JpegIOBufferSize - int64_t(Dest->Pub.free_in_buffer);
  if (Used > 0) WriteOut(Dest, Used);
}

}  // namespace

const char* JpegMessageText(int Code) {
  if (Code < 0 || Code >= int(std::size(JpegMessages))) return "Corrupted";
  return JpegMessages[Code];
}

void JpegInitErrorManager(TJpegErrorManager& Err, uint8_t* Abort) {
  std::memset(&Err.Pub, 0, sizeof Err.Pub);
  jpeg_std_error(&Err.Pub);
  Err.Pub.error_exit = JpegErrorExit;
  Err.Pub.emit_message = JpegEmitMessage;
  Err.Pub.output_message = JpegOutputMessage;
  Err.Pub.format_message = JpegFormatMessage;
  Err.Pub.reset_error_mgr = JpegResetErrorManager;
  Err.Abort = Abort;
  Err.WarningCount = 0;
  Err.LastWarningCode = 0;
  Err.HitMarker = false;
  Err.Armed = false;
}

void JpegRaiseCaught(TJpegErrorManager& Err) {
  const int Code = Err.Pub.msg_code;
  if (Code == JpegCodeTooFewScanlines) return;
  throw EIEJpegException(JpegMessageText(Code));
}

// ---- Source and destination --------------------------------------------------------------------------------

TJpegSource* JpegSourceOf(j_decompress_ptr Info) { return reinterpret_cast<TJpegSource*>(Info->src); }

void JpegStreamSource(j_decompress_ptr Info, TStream* Stream, uint8_t* Abort) {
  TJpegSource* Src = JpegSourceOf(Info);
  if (Src == nullptr) {
    Src = new TJpegSource;
    std::memset(&Src->Pub, 0, sizeof Src->Pub);
    Info->src = &Src->Pub;
  }
  if (Src->Buffer == nullptr) {
    Src->Buffer = static_cast<uint8_t*>(std::malloc(JpegIOBufferSize));
    if (Src->Buffer == nullptr) throw EOutOfMemory("Out of memory");
  }
  Src->Pub.init_source = SourceInit;
  Src->Pub.fill_input_buffer = SourceFill;
  Src->Pub.skip_input_data = SourceSkip;
  Src->Pub.resync_to_restart = jpeg_resync_to_restart;
  Src->Pub.term_source = SourceTerm;
  Src->Stream = Stream;
  Src->Abort = Abort;
  Src->EndSupplied = false;
  Src->Pub.next_input_byte = nullptr;
  Src->Pub.bytes_in_buffer = 0;
}

void JpegFreeSource(j_decompress_ptr Info) {
  TJpegSource* Src = JpegSourceOf(Info);
  if (Src == nullptr) return;
  std::free(Src->Buffer);
  delete Src;
  Info->src = nullptr;
}

void JpegStreamDestination(j_compress_ptr Info, TStream* Stream, uint8_t* Abort) {
  TJpegDestination* Dest = DestinationOf(Info);
  if (Dest == nullptr) {
    Dest = new TJpegDestination;
    std::memset(&Dest->Pub, 0, sizeof Dest->Pub);
    Info->dest = &Dest->Pub;
  }
  Dest->Pub.init_destination = DestinationInit;
  Dest->Pub.empty_output_buffer = DestinationEmpty;
  Dest->Pub.term_destination = DestinationTerm;
  Dest->Stream = Stream;
  Dest->Abort = Abort;
}

void JpegFreeDestination(j_compress_ptr Info) {
  TJpegDestination* Dest = DestinationOf(Info);
  if (Dest == nullptr) return;
  std::free(Dest->Buffer);
  delete Dest;
  Info->dest = nullptr;
}

// ---- ICC profile chunks ---------------------------------------------------------------------------------------

void JpegCollectIccProfile(TStream* Stream, TIOParamsVals& Params) {
  const int64_t Start = Stream->Position();
  // Indexed by sequence number - 1; an empty entry is a chunk not seen.
  std::vector<std::vector<uint8_t>> Chunks;
  std::vector<bool> Seen;
  int32_t SeenCount = 0;
  try {
    TIEBufferedReadStream Reader(Stream, 8192, false);
    auto ReadByte = [&](uint8_t& B) { return Reader.Read(&B, 1) == 1; };
    auto ReadLength = [&](int32_t& L) {
      uint8_t Hi = 0;
      uint8_t Lo = 0;
      if (!ReadByte(Hi) || !ReadByte(Lo)) return false;
      L = (int32_t(Hi) << 8) | Lo;
      return true;
    };
    bool Done = false;
    while (!Done) {
      uint8_t B = 0;
      if (!ReadByte(B)) break;
      if (B != 0xFF) continue;
      uint8_t M = 0;
      if (!ReadByte(M)) break;
      if (M <= 0xBF || (M >= 0xD0 && M <= 0xD8) || M == 0xFF) continue;
      const bool Segment = M == 0xC4 || M == 0xC8 || M == 0xCC || (M >= 0xDA && M <= 0xFE);
      if (!Segment) break;  // a start of frame or the end of the image
      int32_t L = 0;
      if (!ReadLength(L) || L < 2) break;
      if (M != 0xE2) {
        Reader.Seek(L - 2, soCurrent);
        if (Reader.EndOfStream()) break;
        continue;
      }
      std::vector<uint8_t> Data(size_t(L - 2));
      if (!Data.empty() && Reader.Read(Data.data(), int64_t(Data.size())) != int64_t(Data.size())) break;
      // "ICC_PROFILE\0", sequence number, chunk count, then the profile bytes.
      if (Data.size() < 14 || !(std::memcmp(Data.data(), "ICC_PROFILE", 12) == 0)) continue;
      const int32_t Sequence = Data[12];
      const int32_t Count = Data[13];
      if (Sequence == 0 || Sequence > Count) continue;
      if (size_t(Sequence) > Chunks.size()) {
        Chunks.resize(size_t(Sequence));
        Seen.resize(size_t(Sequence), false);
      }
      // A duplicate replaces the earlier chunk and is not counted again.
      Chunks[size_t(Sequence - 1)].assign(Data.begin() + 14, Data.end());
      if (!Seen[size_t(Sequence - 1)]) {
        Seen[size_t(Sequence - 1)] = true;
        ++SeenCount;
      }
      if (SeenCount >= Count) Done = true;
    }
  } catch (...) {
    // A stream that fails leaves whatever chunks were read.
  }
  std::vector<uint8_t> Profile;
  for (const auto& Chunk : Chunks) Profile.insert(Profile.end(), Chunk.begin(), Chunk.end());
  if (!Profile.empty()) {
    try {
      Params.GetInputIcc()->LoadFromBuffer(Profile.data(), int32_t(Profile.size()));
    } catch (...) {
    }
  }
  Stream->SetPosition(Start);
}

// ---- Operations of the camera-raw decoder ---------------------------------------------------------------------

namespace {

TJpegErrorManager& ErrOf(j_decompress_ptr Info) { return *ErrorManagerOf(reinterpret_cast<j_common_ptr>(Info)); }

}  // namespace

j_decompress_ptr JpegNewDecompressor() {
  auto* Info = static_cast<j_decompress_ptr>(std::calloc(1, sizeof(jpeg_decompress_struct)));
  if (Info == nullptr) throw EOutOfMemory("Out of memory");
  return Info;
}

TJpegErrorManager* JpegNewErrorManager(j_decompress_ptr Info) {
  auto* Err = new TJpegErrorManager;
  JpegInitErrorManager(*Err, nullptr);
  Info->err = &Err->Pub;
  return Err;
}

void JpegCreateDecompressor(j_decompress_ptr Info) {
  JpegGuarded(ErrOf(Info), [Info] { jpeg_CreateDecompress(Info, JpegInterfaceVersion, sizeof(jpeg_decompress_struct)); });
}

void JpegSetStreamSource(j_decompress_ptr Info, TStream* Stream) { JpegStreamSource(Info, Stream, nullptr); }

void JpegSetFillBuffer(j_decompress_ptr Info, TJpegFillBufferProc Routine) { Info->src->fill_input_buffer = Routine; }

void JpegSetSourceBuffer(j_decompress_ptr Info, const uint8_t* Data, size_t Count) {
  Info->src->next_input_byte = Data;
  Info->src->bytes_in_buffer = Count;
}

int JpegReadHeader(j_decompress_ptr Info, bool RequireImage) {
  int Result = 0;
  JpegGuarded(ErrOf(Info), [Info, RequireImage, &Result] { Result = jpeg_read_header(Info, RequireImage ? TRUE : FALSE); });
  return Result;
}

bool JpegStartDecompress(j_decompress_ptr Info) {
  bool Result = false;
  JpegGuarded(ErrOf(Info), [Info, &Result] { Result = jpeg_start_decompress(Info) != FALSE; });
  return Result;
}

int32_t JpegOutputWidth(j_decompress_ptr Info) { return int32_t(Info->output_width); }
int32_t JpegOutputHeight(j_decompress_ptr Info) { return int32_t(Info->output_height); }
int32_t JpegOutputComponents(j_decompress_ptr Info) { return Info->output_components; }
int32_t JpegOutputScanline(j_decompress_ptr Info) { return int32_t(Info->output_scanline); }

JSAMPARRAY JpegAllocRows(j_decompress_ptr Info, int Pool, int32_t SamplesPerRow, int32_t Rows) {
  JSAMPARRAY Result = nullptr;
  JpegGuarded(ErrOf(Info), [&] {
    Result = Info->mem->alloc_sarray(reinterpret_cast<j_common_ptr>(Info), Pool, JDIMENSION(SamplesPerRow),
                                     JDIMENSION(Rows));
  });
  return Result;
}

int32_t JpegReadScanlines(j_decompress_ptr Info, JSAMPARRAY Rows, int32_t MaxLines) {
  int32_t Result = 0;
  JpegGuarded(ErrOf(Info), [&] { Result = int32_t(jpeg_read_scanlines(Info, Rows, JDIMENSION(MaxLines))); });
  return Result;
}

void JpegFinishDecompress(j_decompress_ptr Info) {
  JpegGuarded(ErrOf(Info), [Info] { jpeg_finish_decompress(Info); });
}

void JpegDestroyDecompressor(j_decompress_ptr Info) { jpeg_destroy_decompress(Info); }

void JpegFreeDecompressor(j_decompress_ptr Info) {
  if (Info == nullptr) return;
  JpegFreeSource(Info);
  std::free(Info);
}

void JpegFreeErrorManager(TJpegErrorManager* Err) { delete Err; }

}  // namespace zv
