// Writes the seed files of the fuzz targets with the project's own writers (and a few edge files by
// hand) into the tests/fuzz folder given as the argument:
//   fuzz_make_seeds tests/fuzz
// Run it again when a writer changes; the seeds it makes are committed. The video seeds come from the
// tests' clip generator, tiny and of a few frames.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/settings.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/zlib_streams.h"
#include "imaging/formats/psd_writer.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/view/layers.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "tests/ffmpeg/clip_fixture.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

fs::path Root;

void Put(const std::string& Target, const std::string& Name, const Bytes& Data) {
  const fs::path Path = Root / Target / "seeds" / Name;
  fs::create_directories(Path.parent_path());
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  std::printf("%s: %zu bytes\n", Path.c_str(), Data.size());
}

void Put(const std::string& Target, const std::string& Name, const std::string& Text) {
  Put(Target, Name, Bytes(Text.begin(), Text.end()));
}

Bytes Contents(TMemoryStream& Stream) {
  const auto* Start = static_cast<const uint8_t*>(Stream.Memory());
  return Bytes(Start, Start + Stream.Size());
}

Bytes ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

// A W x H picture of colour bands, in Format (ie8p gets a palette of 16 colours).
void Paint(TIEBitmap& B, int32_t W, int32_t H, TIEPixelFormat Format, int Seed) {
  B.Allocate(W, H, Format);
  if (Format == ie8p)
    for (int i = 0; i < 16; ++i) B.SetPaletteColor(i, TIERGB24{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 5)});
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int32_t i = 0; i < B.GetRowLen(); ++i) Row[i] = uint8_t(Format == ie8p ? (i / 2 + y + Seed) % 16 : (i * 37 + y * 11 + Seed));
  }
}

// The bitmap saved through the I/O component's writer of FileType, with the parameters Set puts in.
template <class SetParams>
Bytes Saved(TIEBitmap& B, uint32_t FileType, SetParams&& Set) {
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&B));
  Set(*IO->IOParams());
  TMemoryStream Stream;
  fuzz::AsTheApplication([&] { IO->SaveToStreamFormat(&Stream, FileType); });
  return IO->AbortFlag == 0 ? Contents(Stream) : Bytes();
}
Bytes Saved(TIEBitmap& B, uint32_t FileType) {
  return Saved(B, FileType, [](TIOParamsVals&) {});
}

// A GIF of two frames, written as the program writes its GIFs: the first frame, then an insertion.
Bytes TwoFrameGif(bool Interlaced, bool Transparent) {
  const std::string Path = fuzz::TempPath("seed.gif");
  TIEBitmap B;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&B));
  for (int Frame = 0; Frame < 2; ++Frame) {
    Paint(B, 12, 9, ie24RGB, Frame * 50);
    TIOParamsVals& P = *IO->IOParams();
    P.BitsPerSample = 4;
    P.SamplesPerPixel = 1;
    P.GifInterlaced = Interlaced ? 1 : 0;
    P.GifTransparent = Transparent ? 1 : 0;
    P.GifDelay = 7;
    P.GifScreenWidth = 12;
    P.GifScreenHeight = 9;
    if (Frame == 0) {
      IO->SaveToFile(Path);
    } else {
      P.GifImageIndex = 1;
      IO->InsertGifFrame(Path);
    }
  }
  Bytes Data = ReadFile(Path);
  std::remove(Path.c_str());
  return Data;
}

// The LZW target's header (width, height, flags) and the coder's output for a picture of indexes.
Bytes LzwSeed(int32_t W, int32_t H, bool Interlaced, int32_t Bits) {
  Bytes Pixels(size_t(W) * size_t(H));
  for (size_t i = 0; i < Pixels.size(); ++i) Pixels[i] = uint8_t((i * 7 + i / size_t(W)) % (1u << Bits));
  TMemoryStream Coded;
  GifLzwEncode(&Coded, H, W, Interlaced ? 1 : 0, Pixels.data(), Bits);
  Bytes Data = {uint8_t(W - 1), uint8_t(H - 1), uint8_t(Interlaced ? 1 : 0)};
  const Bytes Body = Contents(Coded);
  Data.insert(Data.end(), Body.begin(), Body.end());
  return Data;
}

Bytes Deflated(const std::string& Text, TZCompressionLevel Level) {
  TMemoryStream Out;
  {
    TZCompressionStream Z(&Out, Level);
    Z.WriteBuffer(Text.data(), int64_t(Text.size()));
    Z.Finish();
  }
  return Contents(Out);
}

Bytes Raw(TIEBitmap& B) {
  TMemoryStream Out;
  B.SaveRawToStream(nullptr, 0, &Out);
  return Contents(Out);
}

void MakeImageSeeds() {
  TIEBitmap Colour, Indexed, Mono;
  Paint(Colour, 7, 5, ie24RGB, 1);
  Paint(Indexed, 9, 6, ie8p, 2);
  Paint(Mono, 13, 3, ie1g, 3);

  // BMP: the class-library bitmap the decoder hands over per frame, and the component's own kinds.
  {
    TBitmap Frame;
    Frame.SetPixelFormat(pf32bit);
    Frame.SetSize(6, 4);
    for (int y = 0; y < 4; ++y) {
      auto* Row = static_cast<uint8_t*>(Frame.ScanLine(y));
      for (int i = 0; i < 24; ++i) Row[i] = uint8_t(i * 10 + y);
    }
    TMemoryStream Stream;
    Frame.SaveToStream(&Stream);
    Put("bmp_reader", "frame_32bit.bmp", Contents(Stream));
    Put("imaging_io", "frame_32bit.bmp", Contents(Stream));
  }
  Put("bmp_reader", "rgb24.bmp", Saved(Colour, ftBmp));
  Put("bmp_reader", "rle8.bmp", Saved(Indexed, ftBmp, [](TIOParamsVals& P) {
        P.BitsPerSample = 8;
        P.SamplesPerPixel = 1;
        P.BmpCompression = 1;
      }));
  Put("bmp_reader", "rle4.bmp", Saved(Indexed, ftBmp, [](TIOParamsVals& P) {
        P.BitsPerSample = 4;
        P.SamplesPerPixel = 1;
        P.BmpCompression = 1;
      }));
  Put("bmp_reader", "core_header_1bit.bmp", Saved(Mono, ftBmp, [](TIOParamsVals& P) {
        P.BitsPerSample = 1;
        P.SamplesPerPixel = 1;
        P.BmpHeaderKind = 2;
      }));

  // GIF: two frames as the program writes them, plain and interlaced with transparency.
  Put("gif_reader", "two_frames.gif", TwoFrameGif(false, false));
  Put("gif_reader", "two_frames_interlaced_transparent.gif", TwoFrameGif(true, true));
  Put("imaging_io", "two_frames.gif", TwoFrameGif(false, true));

  // Every other format the registry writes, for the loads by content and by id.
  for (uint32_t FileType = ftUnknown + 1; FileType <= ftHdPhoto; ++FileType) {
    if (FileType == ftGif || FileType == ftBmp || FileType == ftPs || FileType == ftPdf) continue;
    const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
    if (Row == nullptr || Row->WriteProc == nullptr) continue;
    const Bytes Data = Saved(Colour, FileType);
    if (Data.empty() || Data.size() > 8192) continue;
    std::string Ext = GetFormatExtension(FileType, 0);
    std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    Put("imaging_io", "colour." + (Ext.empty() ? std::to_string(FileType) : Ext), Data);
    // The single-format readers start from the same files.
    if (FileType == ftPng) Put("png", "colour.png", Data);
    if (FileType == ftJp2 || FileType == ftJ2k) Put("jpeg2000", "colour." + Ext, Data);
  }

  // LZW: code sizes 2 and 8, plain and interlaced rows; and a round trip's header with indexes.
  Put("gif_lzw", "8x8_bits2.bin", LzwSeed(8, 8, false, 2));
  Put("gif_lzw", "16x11_bits8_interlaced.bin", LzwSeed(16, 11, true, 8));
  Put("gif_lzw", "40x3_bits4.bin", LzwSeed(40, 3, false, 4));
  Put("gif_lzw", "round_trip_bits5.bin", Bytes{31, 9, uint8_t(2 | (4 << 2)), 1, 2, 3, 4, 5, 31, 30, 0, 0, 0, 7});

  // Raw bitmap streams: each pixel format kind, one with an alpha channel.
  Put("raw_stream", "rgb24.raw", Raw(Colour));
  Put("raw_stream", "palette8.raw", Raw(Indexed));
  Put("raw_stream", "mono1.raw", Raw(Mono));
  {
    TIEBitmap WithAlpha;
    Paint(WithAlpha, 5, 4, ie24RGB, 9);
    WithAlpha.GetAlphaChannel()->FillRect(1, 1, 3, 2, 128.0);
    Put("raw_stream", "rgb24_alpha.raw", Raw(WithAlpha));
  }
}

// TGA: each depth and compression the writer makes, one with alpha, and a hand-made file whose
// run-length packets cross rows under a 2.0 footer.
void MakeTgaSeeds() {
  TIEBitmap Colour;
  Paint(Colour, 7, 5, ie24RGB, 4);
  struct Kind {
    const char* Name;
    int32_t Samples, Bits;
    uint8_t Compressed, Grey;
  };
  for (const Kind& K : {Kind{"rgb24_rle.tga", 3, 8, 1, 0}, Kind{"rgb24_raw.tga", 3, 8, 0, 0},
                        Kind{"palette8_rle.tga", 1, 8, 1, 0}, Kind{"grey8_raw.tga", 1, 8, 0, 1},
                        Kind{"mono1.tga", 1, 1, 0, 0}})
    Put("tga", K.Name, Saved(Colour, ftTga, [&](TIOParamsVals& P) {
          P.SamplesPerPixel = K.Samples;
          P.BitsPerSample = K.Bits;
          P.TgaCompressed = K.Compressed;
          P.TgaGrayscale = K.Grey;
          P.TgaImageId = "seed";
        }));
  TIEBitmap WithAlpha;
  Paint(WithAlpha, 5, 4, ie24RGB, 9);
  WithAlpha.GetAlphaChannel()->FillRect(1, 1, 3, 2, 128.0);
  Put("tga", "rgba32.tga", Saved(WithAlpha, ftTga));
  Bytes Crossing = {0, 1, 9, 0, 0, 2, 0, 32, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0,
                    1, 2, 3, 4, 5, 6, 7, 8,  // two 32-bit map entries
                    0x83, 1, 0x01, 0, 1};
  const Bytes Footer = {0, 0, 0, 0, 0, 0, 0, 0, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O',
                        'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};
  Crossing.insert(Crossing.end(), Footer.begin(), Footer.end());
  Put("tga", "map32_rle_across_rows.tga", Crossing);
}

// PSD: a layered RGB document with a user mask and a hidden layer, and the composites of the other kinds
// the writer makes (grey, 16-bit RGB, indexed, CMYK, Lab, bitmap).
void MakePsdSeeds() {
  const auto Document = [](TIEBitmap& Composite, const std::vector<TIELayer*>& Layers) {
    TMemoryStream Stream;
    TIOParamsVals Params(nullptr);
    Params.SetDpiX(72);
    Params.SetDpiY(72);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    PsdWriteLayers(&Stream, Params, Progress, &Composite, Layers);
    return Abort == 0 ? Contents(Stream) : Bytes();
  };
  TIEBitmap Colour;
  Paint(Colour, 7, 5, ie24RGB, 6);
  TIELayer First(nullptr, false, nullptr), Mask(nullptr, false, nullptr), Hidden(nullptr, false, nullptr);
  Paint(*First.Bitmap, 4, 3, ie24RGB, 1);
  First.PosX = 1;
  First.Name = "first";
  Paint(*Mask.Bitmap, 3, 2, ie8g, 2);
  Mask.IsMask = true;
  Mask.PosY = 1;
  Paint(*Hidden.Bitmap, 5, 2, ie24RGB, 3);
  Hidden.Visible = false;
  Hidden.Transparency = 90;
  Hidden.Name = "hidden";
  Put("psd", "layers_and_mask.psd", Document(Colour, {&First, &Mask, &Hidden}));
  for (const auto& [Name, Format] : std::vector<std::pair<std::string, TIEPixelFormat>>{
           {"grey8.psd", ie8g}, {"rgb48.psd", ieRGB48}, {"indexed.psd", ie8p}, {"cmyk.psd", ieCMYK},
           {"lab.psd", ieCIELab}, {"bitmap.psd", ie1g}}) {
    TIEBitmap B;
    Paint(B, 6, 3, Format == ie8p ? ie8p : ie24RGB, 5);
    if (Format != ie8p) B.ConvertToFormat(Format);
    Put("psd", Name, Document(B, {}));
  }
}

// EXIF blocks made by the EXIF writer: a bare block with GPS, one with a thumbnail page, a TIFF page
// carrying EXIF, and a camera-like file whose TIFF header follows a few bytes of its own.
void MakeExifSeeds() {
  TIOParamsVals P(nullptr);
  P.ExifPresent = 1;
  P.ExifMake = "Seed";
  P.ExifUserComment = "hi";
  P.SetExifExposureTime(1.0 / 250);
  P.SetExifExposureBiasValue(-0.7);
  P.ExifIsoSpeedRatings = {100, 200};
  P.GpsVersionId = "2.2.0.0";
  P.GpsLatitudeRef = "N";
  P.GpsLatitude = {51, 30, 12.5};
  Put("exif", "gps.bin", ExifSaveToBuffer(P, false));
  TIEBitmap Thumb;
  Paint(Thumb, 16, 12, ie24RGB, 4);
  P.GetExifThumbnail()->Assign(&Thumb);
  Put("exif", "thumbnail.bin", ExifSaveToBuffer(P, false));
  P.FreeExifThumbnail();
  TIEBitmap Page;
  Paint(Page, 5, 3, ie24RGB, 5);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream Tiff;
  TiffWriteImage(&Tiff, false, &Page, Progress, P);
  Put("exif", "page.tif", Contents(Tiff));
  TMemoryStream Raw;
  Raw.WriteBuffer("RAW!", 4);
  TIOParamsVals Plain(nullptr);
  TiffWriteImage(&Raw, false, &Page, Progress, Plain);
  Raw.SetPosition(4);
  TIOParamsVals Second(nullptr);
  Second.SetImageIndex(1);
  TiffWriteImage(&Raw, true, &Thumb, Progress, Second);
  Put("exif", "camera.bin", Contents(Raw));
}

void MakeTextSeeds(const fs::path& LanguageFolder) {
  const std::string Text = "Zonvark keeps its options in Options.ini beside the executable. "
                           "Zonvark keeps its options in Options.ini beside the executable.\n";
  Put("zlib_streams", "text_default.z", Deflated(Text, zcDefault));
  Put("zlib_streams", "text_stored.z", Deflated(Text.substr(0, 40), zcNone));
  Put("zlib_streams", "text_max.z", Deflated(Text + Text + Text, zcMax));
  Put("zlib_streams", "empty.z", Deflated("", zcFastest));

  const std::string Path = fuzz::TempPath(OptionsFileName);
  std::remove(Path.c_str());
  TAppOptions Options;
  SaveOptions(Path, Options);
  Put("settings", "defaults.ini", ReadFile(Path));
  std::remove(Path.c_str());
  Options.Size = 5;
  Options.Width = 320;
  Options.Height = 200;
  Options.SizeType = 2;
  Options.Loop = false;
  Options.LanguageId = 6;
  SaveOptions(Path, Options);
  Put("settings", "custom_size.ini", ReadFile(Path));
  std::remove(Path.c_str());
  Put("settings", "edges.ini",
      "; hand-made: spaces, case, a hex value, out of range, duplicates, a key without value\r\n"
      "[gif]\r\n Size = 1 \r\nWidth=$1F4\r\nHeight=99999\r\nSpeed=-1\r\nSpeed=3\r\nColor\r\n"
      "[LANGUAGE]\r\nDefault=0x3\r\n[GIF]\r\nLoop=\r\n");

  for (const char* Name : {"English.isl", "Chinese.isl"}) Put("language_file", Name, ReadFile(LanguageFolder / Name));
  Put("language_file", "edges.isl",
      "[Messages]\nMS_Error=\n[FrmZonvark]\nLabelWait.Caption=a=b\nComboBoxColor.Items=||x||||\n"
      "ComboBoxColor.ItemIndex=7\nBtnOpen.Left=abc\n.Caption=Form\nNoSuch.Caption=x\nBtnOpen.Caption\n");
}

void MakeVideoSeeds() {
  const auto Draw = [](int Frame, uint8_t* Pixels, int W, int H) {
    for (int i = 0; i < W * H * 4; ++i) Pixels[i] = uint8_t(i * 3 + Frame * 60);
  };
  for (const auto& [W, H, Frames] : {std::tuple{16, 16, 3}, std::tuple{8, 8, 2}}) {
    const std::string Name = "fuzz_seed_" + std::to_string(W) + "x" + std::to_string(H) + ".mp4";
    const std::string Path = testclips::DrawnClip(Name, W, H, Frames, [&](int Frame, uint8_t* Pixels) {
      Draw(Frame, Pixels, W, H);
    });
    Put("video", "h264_" + std::to_string(W) + "x" + std::to_string(H) + ".mp4", ReadFile(Path));
    Put("transcode", "h264_" + std::to_string(W) + "x" + std::to_string(H) + ".mp4", ReadFile(Path));
  }
}

// Small clips of uncompressed frames for the AVI reader, with and without their index.
void MakeAviSeeds() {
  for (int Bits : {8, 15, 24, 32}) {
    Bytes Data = ReadFile(testclips::RawAviClip(Bits, 2, 8, 4));
    Put("avi", "raw" + std::to_string(Bits) + ".avi", Data);
    if (Bits != 24) continue;
    const std::string Text(Data.begin(), Data.end());
    const size_t Index = Text.rfind("idx1");
    if (Index == std::string::npos) continue;
    std::memcpy(&Data[Index], "JUNK", 4);
    Put("avi", "raw24_no_index.avi", Data);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TESTS_FUZZ_FOLDER LANGUAGE_FOLDER\n", argv[0]);
    return 2;
  }
  Root = argv[1];
  fuzz::StartApplication();
  MakeImageSeeds();
  MakeTgaSeeds();
  MakePsdSeeds();
  MakeExifSeeds();
  MakeTextSeeds(argv[2]);
  MakeVideoSeeds();
  MakeAviSeeds();
  return 0;
}
