#include "imaging/formats/exif_blocks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/core/sys_text.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_tag_list.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace exifblocks {

constexpr int64_t HeaderSearchSize = 131072;
// Thumbnail pages larger than this in either direction are not taken from camera files.
constexpr int32_t ThumbnailLimit = 400;

const char DefaultExifVersion[] = "0220";
const char UnicodeCode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
const char AsciiCode[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};

// UTF-8 to the ANSI code page the readers decode texts from; characters it lacks become '?'.
std::string ToAnsi(const std::string& Utf8) {
  static std::once_flag Once;
  static std::array<std::string, 128> High;  // UTF-8 of bytes 0x80..0xFF
  std::call_once(Once, [] {
    for (int b = 0x80; b < 0x100; ++b) High[size_t(b - 0x80)] = CodePageToUtf8(1252, std::string(1, char(b)));
  });
  std::string Out;
  for (size_t i = 0; i < Utf8.size();) {
    const uint8_t C = uint8_t(Utf8[i]);
    if (C < 0x80) {
      Out += char(C);
      ++i;
      continue;
    }
    size_t Len = C >= 0xF0 ? 4 : C >= 0xE0 ? 3 : C >= 0xC0 ? 2 : 1;
    Len = std::min(Len, Utf8.size() - i);
    const std::string Seq = Utf8.substr(i, Len);
    char Byte = '?';
    for (size_t k = 0; k < High.size(); ++k)
      if (High[k] == Seq) {
        Byte = char(0x80 + k);
        break;
      }
    Out += Byte;
    i += Len;
  }
  return Out;
}

std::string AnsiTag(const TiffDirectory& D, uint16_t Tag) { return CodePageToUtf8(1252, TiffGetAsciiTag(D, Tag, true)); }

// A short text as the value field holds it, without the zeros some writers pad it with.
std::string ShortTag(const TiffDirectory& D, uint16_t Tag) {
  std::string S = TiffGetInlineText(D, Tag);
  while (!S.empty() && S.back() == '\0') S.pop_back();
  return S;
}

// The first value byte of a BYTE or UNDEFINED tag, in file order.
int32_t FirstByte(const TiffDirectory& D, uint16_t Tag, int32_t Default) {
  const int32_t i = TiffFindTag(D, Tag);
  if (i < 0) return Default;
  const TTiffEntry& E = D.Entries[size_t(i)];
  if (E.Type != tftByte && E.Type != tftUndefined && E.Type != tftSByte) return TiffGetTag(D, Tag, Default);
  const std::vector<uint8_t> Bytes = TiffGetTagData(D, Tag);
  return Bytes.empty() ? Default : Bytes[0];
}

void ReadUserComment(const TiffDirectory& D, TIOParamsVals& P) {
  const std::string Raw = TiffGetAsciiTag(D, 37510, false);
  if (Raw.size() < 9) {
    P.ExifUserCommentCode.assign(UnicodeCode, 8);
    P.ExifUserComment.clear();
    return;
  }
  P.ExifUserCommentCode = Raw.substr(0, 8);
  std::string Rest = Raw.substr(8);
  if (std::memcmp(Raw.data(), UnicodeCode, 8) == 0) {
    if (Rest.size() % 2 != 0) Rest += '\0';
    if (D.LittleEndian == 0)
      for (size_t i = 0; i + 1 < Rest.size(); i += 2) std::swap(Rest[i], Rest[i + 1]);
    size_t Units = Rest.size() / 2;
    for (size_t i = 0; i < Units; ++i)
      if (Rest[2 * i] == 0 && Rest[2 * i + 1] == 0) Units = i;
    P.ExifUserComment = Utf16LeToUtf8(reinterpret_cast<const uint8_t*>(Rest.data()), Units);
  } else {
    const size_t Nul = Rest.find('\0');
    if (Nul != std::string::npos) Rest.resize(Nul);
    P.ExifUserComment = CodePageToUtf8(1252, Rest);
  }
}

void ReadMakerNote(const TiffDirectory& D, TIOParamsVals& P) {
  P.ExifMakerNote.Clear();
  const int32_t i = TiffFindTag(D, 37500);
  if (i < 0 || D.Stream == nullptr) return;
  const TTiffEntry& E = D.Entries[size_t(i)];
  const int64_t Available = D.Stream->Size() - D.Base - int64_t(E.Value);
  if (E.Count <= 4 || int64_t(E.Count) > Available || E.Count > uint32_t(MaxMarkerPayload) * 16) return;
  const int64_t Saved = D.Stream->Position();
  D.Stream->SetPosition(D.Base);
  {
    // Offsets in the note count from the TIFF header.
    TIEBufferedReadStream From(D.Stream, 65536, true);
    From.SetPosition(int64_t(E.Value));
    P.ExifMakerNote.ReadFromStream(&From, int32_t(E.Count), D.LittleEndian != 0);
  }
  D.Stream->SetPosition(Saved);
}

void ReadExifIfd(const TiffDirectory& D, TIOParamsVals& P) {
  auto R = [&](uint16_t Tag, double Def) { return TiffGetRational(D, Tag, Def); };
  auto I = [&](uint16_t Tag, int32_t Def) { return TiffGetTag(D, Tag, Def); };
  P.SetExifExposureTime(R(33434, -1));
  P.SetExifFNumber(R(33437, -1));
  P.SetExifExposureProgram(I(34850, -1));
  P.ExifIsoSpeedRatings = {TiffGetTagAt(D, 34855, 0, 0), TiffGetTagAt(D, 34855, 1, 0)};
  P.ExifVersion = ShortTag(D, 36864);
  P.ExifDateTimeOriginal = AnsiTag(D, 36867);
  P.ExifDateTimeDigitized = AnsiTag(D, 36868);
  P.SetExifCompressedBitsPerPixel(R(37122, 0));
  P.SetExifShutterSpeedValue(R(37377, -1));
  P.SetExifApertureValue(R(37378, -1));
  P.SetExifBrightnessValue(R(37379, -1000));
  P.SetExifExposureBiasValue(R(37380, -1000));
  P.SetExifMaxApertureValue(R(37381, -1000));
  P.SetExifSubjectDistance(R(37382, -1));
  P.SetExifMeteringMode(I(37383, -1));
  P.SetExifLightSource(I(37384, -1));
  P.SetExifFlash(I(37385, -1));
  P.SetExifFocalLength(R(37386, -1));
  ReadMakerNote(D, P);
  ReadUserComment(D, P);
  P.ExifSubsecTime = AnsiTag(D, 37520);
  P.ExifSubsecTimeOriginal = AnsiTag(D, 37521);
  P.ExifSubsecTimeDigitized = AnsiTag(D, 37522);
  P.ExifFlashPixVersion = ShortTag(D, 40960);
  P.SetExifColorSpace(I(40961, -1));
  P.SetExifPixelXDimension(I(40962, 0));
  P.SetExifPixelYDimension(I(40963, 0));
  P.ExifRelatedSoundFile = AnsiTag(D, 40964);
  P.SetExifFocalPlaneXResolution(R(41486, -1));
  P.SetExifFocalPlaneYResolution(R(41487, -1));
  P.SetExifFocalPlaneResolutionUnit(I(41488, -1));
  P.SetExifExposureIndex(R(41493, -1));
  P.SetExifSensingMethod(I(41495, -1));
  P.SetExifFileSource(FirstByte(D, 41728, -1));
  P.SetExifSceneType(FirstByte(D, 41729, -1));
  P.ExifExposureMode = I(41986, -1);
  P.ExifWhiteBalance = I(41987, -1);
  P.ExifDigitalZoomRatio = R(41988, -1);
  P.ExifFocalLengthIn35mmFilm = I(41989, -1);
  P.ExifSceneCaptureType = I(41990, -1);
  P.ExifGainControl = I(41991, -1);
  P.ExifContrast = I(41992, -1);
  P.ExifSaturation = I(41993, -1);
  P.ExifSharpness = I(41994, -1);
  P.ExifSubjectDistanceRange = I(41996, -1);
  P.ExifImageUniqueId = AnsiTag(D, 42016);
}

void ReadGpsIfd(const TiffDirectory& D, TIOParamsVals& P) {
  auto R = [&](uint16_t Tag) { return TiffGetRational(D, Tag, 0); };
  auto R3 = [&](uint16_t Tag, std::array<double, 3>& Out) {
    for (int32_t i = 0; i < 3; ++i) Out[size_t(i)] = TiffGetRationalAt(D, Tag, i, 0);
  };
  P.GpsVersionId = TiffBytesToDotted(TiffGetInlineText(D, 0));
  P.GpsLatitudeRef = ShortTag(D, 1);
  R3(2, P.GpsLatitude);
  P.GpsLongitudeRef = ShortTag(D, 3);
  R3(4, P.GpsLongitude);
  P.GpsAltitudeRef = std::to_string(FirstByte(D, 5, 0));
  P.GpsAltitude = R(6);
  R3(7, P.GpsTimeStamp);
  P.GpsSatellites = AnsiTag(D, 8);
  P.GpsStatus = ShortTag(D, 9);
  P.GpsMeasureMode = ShortTag(D, 10);
  P.GpsDop = R(11);
  P.GpsSpeedRef = ShortTag(D, 12);
  P.GpsSpeed = R(13);
  P.GpsTrackRef = ShortTag(D, 14);
  P.GpsTrack = R(15);
  P.GpsImgDirectionRef = ShortTag(D, 16);
  P.GpsImgDirection = R(17);
  P.GpsMapDatum = AnsiTag(D, 18);
  P.GpsDestLatitudeRef = ShortTag(D, 19);
  R3(20, P.GpsDestLatitude);
  P.GpsDestLongitudeRef = ShortTag(D, 21);
  R3(22, P.GpsDestLongitude);
  P.GpsDestBearingRef = ShortTag(D, 23);
  P.GpsDestBearing = R(24);
  P.GpsDestDistanceRef = ShortTag(D, 25);
  P.GpsDestDistance = R(26);
  P.GpsDateStamp = AnsiTag(D, 29);
}

bool Present(const TIOParamsVals& P, int32_t Tag) {
  return std::find(P.ExifTagsPresent.begin(), P.ExifTagsPresent.end(), Tag) != P.ExifTagsPresent.end();
}

template <size_t N>
bool AnyIsNot(const std::array<double, N>& V, double Absent) {
  return std::any_of(V.begin(), V.end(), [&](double x) { return x != Absent; });
}

// ExifVersion and FlashpixVersion: UNDEFINED bytes, four in the value field; none when empty.
void VersionText(TTiffTagList& Tags, uint16_t Tag, const std::string& S) {
  if (!S.empty()) Tags.OutOfLine(Tag, tftUndefined, uint32_t(S.size()), S.data(), S.size());
}

// The GPS reference texts: ASCII with their terminating zero (in the value field up to 3 characters),
// as TIFF readers expect them; an empty one makes no entry.
void RefText(TTiffTagList& Tags, uint16_t Tag, const std::string& S) {
  if (!S.empty()) Tags.OutOfLine(Tag, tftAscii, uint32_t(S.size() + 1), S.c_str(), S.size() + 1);
}

void WriteUserComment(TTiffTagList& Tags, const TIOParamsVals& P) {
  std::string Code = P.ExifUserCommentCode.empty() ? std::string(UnicodeCode, 8) : P.ExifUserCommentCode;
  if (P.ExifUserComment.empty() || Code.size() != 8) return;
  std::string Data;
  if (std::memcmp(Code.data(), UnicodeCode, 8) == 0)
    Data = Code + Utf8ToUtf16Le(P.ExifUserComment) + std::string(2, '\0');
  else if (std::memcmp(Code.data(), AsciiCode, 8) == 0)
    Data = Code + ToAnsi(P.ExifUserComment) + std::string(1, '\0');
  else
    return;  // a code whose text encoding is not known here makes no entry
  Tags.OutOfLine(37510, tftUndefined, uint32_t(Data.size()), Data.data(), Data.size());
}

void WriteMakerNote(TTiffTagList& Tags, TStream* Stream, TIOParamsVals& P) {
  if (P.ExifMakerNote.IfdStream.Size() <= 12) return;
  Tags.PadEven();
  const int64_t At = Stream->Position() - Tags.Base();
  const int32_t Length = P.ExifMakerNote.WriteToStream(Stream);
  if (Length > 0) Tags.Entry(37500, tftUndefined, uint32_t(Length), uint32_t(At));
}

}  // namespace exifblocks

using namespace exifblocks;

void TiffWriteExifTags(TTiffTagList& Tags, TStream* Stream, TIOParamsVals& P, uint8_t& Abort) {
  // IFD 0.
  Tags.Text(270, ToAnsi(P.ExifImageDescription));
  if (P.ExifXResolution != 0) Tags.Rationals(282, &P.ExifXResolution, 1);
  if (P.ExifYResolution != 0) Tags.Rationals(283, &P.ExifYResolution, 1);
  Tags.Short(274, uint16_t(P.TiffOrientation()));
  Tags.Short(296, 2);
  Tags.Text(305, ToAnsi(P.ExifSoftware));
  if (P.ExifRating >= 0) Tags.Short(18246, uint16_t(P.ExifRating));
  Tags.WideText(40091, P.ExifXpTitle);
  Tags.WideText(40092, P.ExifXpComment);
  Tags.WideText(40093, P.ExifXpAuthor);
  Tags.WideText(40094, P.ExifXpKeywords);
  Tags.WideText(40095, P.ExifXpSubject);
  Tags.Text(315, ToAnsi(P.ExifArtist));
  Tags.Text(271, ToAnsi(P.ExifMake));
  Tags.Text(272, ToAnsi(P.ExifModel));
  Tags.Text(306, ToAnsi(P.ExifDateTime));
  if (AnyIsNot(P.ExifWhitePoint, -1)) Tags.Rationals(318, P.ExifWhitePoint.data(), 2);
  if (P.ExifYCbCrPositioning != 0 && P.ExifYCbCrPositioning != -1) Tags.Short(531, uint16_t(P.ExifYCbCrPositioning));
  if (AnyIsNot(P.ExifPrimaryChromaticities, -1)) Tags.Rationals(319, P.ExifPrimaryChromaticities.data(), 6);
  if (AnyIsNot(P.ExifYCbCrCoefficients, -1)) Tags.Rationals(529, P.ExifYCbCrCoefficients.data(), 3);
  if (AnyIsNot(P.ExifReferenceBlackWhite, -1)) Tags.Rationals(532, P.ExifReferenceBlackWhite.data(), 6);
  Tags.Text(33432, ToAnsi(P.ExifCopyright));

  // The EXIF sub-IFD: values, then the directory.
  TTiffTagList Sub(Stream, Tags.Base(), Abort);
  auto R = [&](uint16_t Tag, double V) {
    if (Present(P, Tag)) Sub.Rationals(Tag, &V, 1);
  };
  auto S = [&](uint16_t Tag, int32_t V) {
    if (Present(P, Tag)) Sub.Short(Tag, uint16_t(V));
  };
  auto Set = [&](uint16_t Tag, int32_t V) {
    if (V != -1) Sub.Short(Tag, uint16_t(V));
  };
  // Pixel dimensions past 16 bits are LONG.
  auto Dimension = [&](uint16_t Tag, int32_t V) {
    if (!Present(P, Tag)) return;
    if (V > 0xFFFF || V < 0)
      Sub.Long(Tag, uint32_t(V));
    else
      Sub.Short(Tag, uint16_t(V));
  };
  R(33434, P.ExifExposureTime());
  R(33437, P.ExifFNumber());
  S(34850, P.ExifExposureProgram());
  if (P.ExifIsoSpeedRatings[1] != 0)
    Sub.Shorts(34855, {uint16_t(P.ExifIsoSpeedRatings[0]), uint16_t(P.ExifIsoSpeedRatings[1])});
  else if (P.ExifIsoSpeedRatings[0] != 0)
    Sub.Short(34855, uint16_t(P.ExifIsoSpeedRatings[0]));
  // Always there, so that the sub-IFD is never empty: an unset version is written as 2.2, the version
  // whose tags this table holds.
  VersionText(Sub, 36864, P.ExifVersion.empty() ? std::string(DefaultExifVersion) : P.ExifVersion);
  Sub.Text(36867, ToAnsi(P.ExifDateTimeOriginal));
  Sub.Text(36868, ToAnsi(P.ExifDateTimeDigitized));
  R(37122, P.ExifCompressedBitsPerPixel());
  R(37377, P.ExifShutterSpeedValue());
  R(37378, P.ExifApertureValue());
  // The two signed quantities are SRATIONAL, so that other readers see their sign.
  auto Signed = [&](uint16_t Tag, double V) {
    if (Present(P, Tag)) Sub.Rationals(Tag, &V, 1, tftSRational);
  };
  Signed(37379, P.ExifBrightnessValue());
  Signed(37380, P.ExifExposureBiasValue());
  R(37381, P.ExifMaxApertureValue());
  R(37382, P.ExifSubjectDistance());
  S(37383, P.ExifMeteringMode());
  S(37384, P.ExifLightSource());
  S(37385, P.ExifFlash());
  R(37386, P.ExifFocalLength());
  Sub.Text(37520, ToAnsi(P.ExifSubsecTime));
  Sub.Text(37521, ToAnsi(P.ExifSubsecTimeOriginal));
  Sub.Text(37522, ToAnsi(P.ExifSubsecTimeDigitized));
  VersionText(Sub, 40960, P.ExifFlashPixVersion);
  S(40961, P.ExifColorSpace());
  Dimension(40962, P.ExifPixelXDimension());
  Dimension(40963, P.ExifPixelYDimension());
  Sub.Text(40964, ToAnsi(P.ExifRelatedSoundFile));
  R(41486, P.ExifFocalPlaneXResolution());
  R(41487, P.ExifFocalPlaneYResolution());
  S(41488, P.ExifFocalPlaneResolutionUnit());
  R(41493, P.ExifExposureIndex());
  S(41495, P.ExifSensingMethod());
  if (Present(P, 41728)) Sub.UndefinedByte(41728, uint8_t(P.ExifFileSource()));
  if (Present(P, 41729)) Sub.UndefinedByte(41729, uint8_t(P.ExifSceneType()));
  Set(41986, P.ExifExposureMode);
  Set(41987, P.ExifWhiteBalance);
  if (P.ExifDigitalZoomRatio != -1) Sub.Rationals(41988, &P.ExifDigitalZoomRatio, 1);
  Set(41989, P.ExifFocalLengthIn35mmFilm);
  Set(41990, P.ExifSceneCaptureType);
  Set(41991, P.ExifGainControl);
  Set(41992, P.ExifContrast);
  Set(41993, P.ExifSaturation);
  Set(41994, P.ExifSharpness);
  Set(41996, P.ExifSubjectDistanceRange);
  Sub.Text(42016, ToAnsi(P.ExifImageUniqueId));
  WriteUserComment(Sub, P);
  WriteMakerNote(Sub, Stream, P);
  Tags.Long(34665, Sub.WriteIfd(0));
  if (!P.GpsVersionId.empty()) TiffWriteGpsIfd(Tags, Stream, P, Abort);
}

void TiffWriteGpsIfd(TTiffTagList& Tags, TStream* Stream, TIOParamsVals& P, uint8_t& Abort) {
  TTiffTagList G(Stream, Tags.Base(), Abort);
  auto R = [&](uint16_t Tag, double V) { G.Rationals(Tag, &V, 1); };
  const std::string Version = TiffDottedToBytes(P.GpsVersionId);
  G.OutOfLine(0, tftByte, uint32_t(Version.size()), Version.data(), Version.size());
  RefText(G, 1, P.GpsLatitudeRef);
  G.Rationals(2, P.GpsLatitude.data(), 3);
  RefText(G, 3, P.GpsLongitudeRef);
  G.Rationals(4, P.GpsLongitude.data(), 3);
  G.Byte(5, uint8_t(IEStrToIntDef(P.GpsAltitudeRef, 0)));
  R(6, P.GpsAltitude);
  G.Rationals(7, P.GpsTimeStamp.data(), 3);
  G.Text(8, ToAnsi(P.GpsSatellites));
  RefText(G, 9, P.GpsStatus);
  RefText(G, 10, P.GpsMeasureMode);
  R(11, P.GpsDop);
  RefText(G, 12, P.GpsSpeedRef);
  R(13, P.GpsSpeed);
  RefText(G, 14, P.GpsTrackRef);
  R(15, P.GpsTrack);
  RefText(G, 16, P.GpsImgDirectionRef);
  R(17, P.GpsImgDirection);
  G.Text(18, ToAnsi(P.GpsMapDatum));
  RefText(G, 19, P.GpsDestLatitudeRef);
  G.Rationals(20, P.GpsDestLatitude.data(), 3);
  RefText(G, 21, P.GpsDestLongitudeRef);
  G.Rationals(22, P.GpsDestLongitude.data(), 3);
  RefText(G, 23, P.GpsDestBearingRef);
  R(24, P.GpsDestBearing);
  RefText(G, 25, P.GpsDestDistanceRef);
  R(26, P.GpsDestDistance);
  G.Text(29, ToAnsi(P.GpsDateStamp));
  Tags.Long(34853, G.WriteIfd(0));
}

void ExifReadSubIfds(const TiffDirectory& Ifd0, TIOParamsVals& Params) {
  // A missing or unreadable sub-IFD reads as an empty one: its fields take their absent values.
  auto Load = [&](uint16_t Tag, TiffDirectory& Sub) {
    Sub.Stream = Ifd0.Stream;
    Sub.Base = Ifd0.Base;
    Sub.LittleEndian = Ifd0.LittleEndian;
    int32_t Count = 0;
    if (TiffFindTag(Ifd0, Tag) < 0) return false;
    if (TiffReadIFD(0, uint32_t(TiffGetTag(Ifd0, Tag, 0)), Sub, Count)) return true;
    Sub.Entries.clear();
    Sub.EntryCount = 0;
    return false;
  };
  TiffDirectory Exif, Gps;
  if (Load(34665, Exif)) Params.ExifPresent = 1;
  ReadExifIfd(Exif, Params);
  const bool HasGps = Load(34853, Gps);
  ReadGpsIfd(Gps, Params);
  if (!HasGps) Params.GpsAltitudeRef.clear();
}

std::vector<uint8_t> ExifSaveToBuffer(TIOParamsVals& Params, bool WithPrefix) {
  TMemoryStream S;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TiffWriteImage(&S, false, nullptr, Progress, Params);
  TIEBitmap* Thumbnail = Params.ExifThumbnail();
  if (Thumbnail != nullptr && !Thumbnail->IsEmpty()) {
    S.SetPosition(0);
    TIOParamsVals T(nullptr);
    T.SetImageIndex(1);
    T.TiffCompression = 6;
    uint8_t ThumbAbort = 0;
    TIEProgressRecord ThumbProgress;
    ThumbProgress.Abort = &ThumbAbort;
    TiffWriteImage(&S, true, Thumbnail, ThumbProgress, T);
  }
  std::vector<uint8_t> Block;
  Block.reserve(size_t(S.Size()) + ExifPrefixSize);
  if (WithPrefix) {
    Block.resize(ExifPrefixSize);
    std::memcpy(Block.data(), ExifPrefix, ExifPrefixSize);
  }
  const auto* M = static_cast<const uint8_t*>(S.Memory());
  Block.insert(Block.end(), M, M + S.Size());
  return Block;
}

namespace exifblocks {

// Reads the TIFF at the stream's position in parameters-only mode into Fresh.
void ReadParamsOnly(TStream* Stream, TIOParamsVals& Fresh) {
  const int64_t At = Stream->Position();
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TIEBitmap Scratch;
  TIEMask* Mask = nullptr;
  int32_t Pages = 0;
  TiffReadImage(&Scratch, Stream, Pages, Fresh, Progress, true, Mask, true, true, false);
  delete Mask;
  Stream->SetPosition(At);
}

// Reads page Index of the TIFF at the stream's position in thumbnail mode; false (Bitmap emptied) when
// the page is missing, refused or broken.
bool ReadThumbnailPage(TStream* Stream, int32_t Index, TImagingIO* Owner, TIEBitmap* Bitmap) {
  const int64_t At = Stream->Position();
  TIOParamsVals Fresh(Owner);
  Fresh.SetImageIndex(Index);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TIEMask* Mask = nullptr;
  int32_t Pages = 0;
  TiffReadImage(Bitmap, Stream, Pages, Fresh, Progress, false, Mask, true, true, true);
  delete Mask;
  Stream->SetPosition(At);
  if (Abort != 0 || Bitmap->GetWidth() > ThumbnailLimit || Bitmap->GetHeight() > ThumbnailLimit) {
    Bitmap->FreeImage(true);
    return false;
  }
  return !Bitmap->IsEmpty();
}

}  // namespace exifblocks

bool ExifLoadFromMarker(const void* Data, int32_t Length, TIOParamsVals& Params) {
  if (Data == nullptr || Length < ExifPrefixSize || std::memcmp(Data, ExifPrefix, ExifPrefixSize) != 0) return false;
  TIEMemStream S(static_cast<const uint8_t*>(Data) + ExifPrefixSize, Length - ExifPrefixSize);
  TIEBitmap* Thumbnail = Params.GetExifThumbnail();
  Thumbnail->FreeImage(true);
  {
    TIOParamsVals Fresh(Params.Owner);
    ReadParamsOnly(&S, Fresh);
    ExifCopyParams(Fresh, Params);
  }
  Params.ExifPresent = 1;
  S.SetPosition(0);
  if (ReadThumbnailPage(&S, 1, Params.Owner, Thumbnail)) ApplyExifOrientation(Thumbnail, Params.TiffOrientation());
  return true;
}

bool ExifLoadFromTiffStream(TStream* Stream, TIOParamsVals& Params) {
  Params.GetExifThumbnail()->FreeImage(true);
  ReadParamsOnly(Stream, Params);
  return true;
}

bool ExifLoadFromRawTiff(TStream* Stream, TIOParamsVals& Params) {
  const int64_t At = Stream->Position();
  {
    TIOParamsVals Fresh(Params.Owner);
    ReadParamsOnly(Stream, Fresh);
    ExifCopyParams(Fresh, Params);
  }
  Params.ExifPresent = 1;
  TIEBitmap Page0, Page1;
  ReadThumbnailPage(Stream, 0, Params.Owner, &Page0);
  ReadThumbnailPage(Stream, 1, Params.Owner, &Page1);
  const int32_t W0 = Page0.IsEmpty() ? 0 : Page0.GetWidth();
  const int32_t W1 = Page1.IsEmpty() ? 0 : Page1.GetWidth();
  TIEBitmap* Thumbnail = Params.GetExifThumbnail();
  Thumbnail->FreeImage(true);
  if (W0 > 0 && (W0 < W1 || W1 == 0) && !Page0.IsAllZero())
    Thumbnail->Assign(&Page0);
  else if (W1 > 0 && (W1 < W0 || W0 == 0) && !Page1.IsAllZero())
    Thumbnail->Assign(&Page1);
  Stream->SetPosition(At);
  return true;
}

void ExifCopyParams(const TIOParamsVals& S, TIOParamsVals& T) {
  T.ExifTagsPresent = S.ExifTagsPresent;
  T.ExifImageDescription = S.TiffImageDescription;
  T.ExifMake = S.ExifMake;
  T.ExifModel = S.ExifModel;
  T.SetExifOrientation(S.ExifOrientation());
  // A block without a resolution leaves the image's own resolution alone.
  if (S.ExifXResolution > 0) T.SetDpiXFloat(S.ExifXResolution);
  if (S.ExifYResolution > 0) T.SetDpiYFloat(S.ExifYResolution);
  T.ExifResolutionUnit = S.ExifResolutionUnit;
  T.ExifSoftware = S.ExifSoftware;
  T.ExifRating = S.ExifRating;
  T.ExifXpTitle = S.ExifXpTitle;
  T.ExifXpComment = S.ExifXpComment;
  T.ExifXpAuthor = S.ExifXpAuthor;
  T.ExifXpKeywords = S.ExifXpKeywords;
  T.ExifXpSubject = S.ExifXpSubject;
  T.ExifArtist = S.ExifArtist;
  T.ExifDateTime = S.ExifDateTime;
  T.ExifWhitePoint = S.ExifWhitePoint;
  T.ExifPrimaryChromaticities = S.ExifPrimaryChromaticities;
  T.ExifYCbCrCoefficients = S.ExifYCbCrCoefficients;
  T.ExifYCbCrPositioning = S.ExifYCbCrPositioning;
  T.ExifReferenceBlackWhite = S.ExifReferenceBlackWhite;
  T.ExifCopyright = S.ExifCopyright;

  T.SetExifExposureTime(S.ExifExposureTime());
  T.SetExifFNumber(S.ExifFNumber());
  T.SetExifExposureProgram(S.ExifExposureProgram());
  T.ExifIsoSpeedRatings = S.ExifIsoSpeedRatings;
  T.ExifVersion = S.ExifVersion;
  T.ExifDateTimeOriginal = S.ExifDateTimeOriginal;
  T.ExifDateTimeDigitized = S.ExifDateTimeDigitized;
  T.SetExifCompressedBitsPerPixel(S.ExifCompressedBitsPerPixel());
  T.SetExifShutterSpeedValue(S.ExifShutterSpeedValue());
  T.SetExifApertureValue(S.ExifApertureValue());
  T.SetExifBrightnessValue(S.ExifBrightnessValue());
  T.SetExifExposureBiasValue(S.ExifExposureBiasValue());
  T.SetExifMaxApertureValue(S.ExifMaxApertureValue());
  T.SetExifSubjectDistance(S.ExifSubjectDistance());
  T.SetExifMeteringMode(S.ExifMeteringMode());
  T.SetExifLightSource(S.ExifLightSource());
  T.SetExifFlash(S.ExifFlash());
  T.SetExifFocalLength(S.ExifFocalLength());
  T.ExifMakerNote.Assign(&S.ExifMakerNote);
  T.ExifUserComment = S.ExifUserComment;
  T.ExifUserCommentCode = S.ExifUserCommentCode;
  T.ExifSubsecTime = S.ExifSubsecTime;
  T.ExifSubsecTimeOriginal = S.ExifSubsecTimeOriginal;
  T.ExifSubsecTimeDigitized = S.ExifSubsecTimeDigitized;
  T.ExifFlashPixVersion = S.ExifFlashPixVersion;
  T.SetExifColorSpace(S.ExifColorSpace());
  T.SetExifPixelXDimension(S.ExifPixelXDimension());
  T.SetExifPixelYDimension(S.ExifPixelYDimension());
  T.ExifRelatedSoundFile = S.ExifRelatedSoundFile;
  T.SetExifFocalPlaneXResolution(S.ExifFocalPlaneXResolution());
  T.SetExifFocalPlaneYResolution(S.ExifFocalPlaneYResolution());
  T.SetExifFocalPlaneResolutionUnit(S.ExifFocalPlaneResolutionUnit());
  T.SetExifExposureIndex(S.ExifExposureIndex());
  T.SetExifSensingMethod(S.ExifSensingMethod());
  T.SetExifFileSource(S.ExifFileSource());
  T.SetExifSceneType(S.ExifSceneType());
  T.ExifExposureMode = S.ExifExposureMode;
  T.ExifWhiteBalance = S.ExifWhiteBalance;
  T.ExifDigitalZoomRatio = S.ExifDigitalZoomRatio;
  T.ExifFocalLengthIn35mmFilm = S.ExifFocalLengthIn35mmFilm;
  T.ExifSceneCaptureType = S.ExifSceneCaptureType;
  T.ExifGainControl = S.ExifGainControl;
  T.ExifContrast = S.ExifContrast;
  T.ExifSaturation = S.ExifSaturation;
  T.ExifSharpness = S.ExifSharpness;
  T.ExifSubjectDistanceRange = S.ExifSubjectDistanceRange;
  T.ExifImageUniqueId = S.ExifImageUniqueId;

  T.GpsVersionId = S.GpsVersionId;
  T.GpsLatitudeRef = S.GpsLatitudeRef;
  T.GpsLatitude = S.GpsLatitude;
  T.GpsLongitudeRef = S.GpsLongitudeRef;
  T.GpsLongitude = S.GpsLongitude;
  T.GpsAltitudeRef = S.GpsAltitudeRef;
  T.GpsAltitude = S.GpsAltitude;
  T.GpsTimeStamp = S.GpsTimeStamp;
  T.GpsSatellites = S.GpsSatellites;
  T.GpsStatus = S.GpsStatus;
  T.GpsMeasureMode = S.GpsMeasureMode;
  T.GpsDop = S.GpsDop;
  T.GpsSpeedRef = S.GpsSpeedRef;
  T.GpsSpeed = S.GpsSpeed;
  T.GpsTrackRef = S.GpsTrackRef;
  T.GpsTrack = S.GpsTrack;
  T.GpsImgDirectionRef = S.GpsImgDirectionRef;
  T.GpsImgDirection = S.GpsImgDirection;
  T.GpsMapDatum = S.GpsMapDatum;
  T.GpsDestLatitudeRef = S.GpsDestLatitudeRef;
  T.GpsDestLatitude = S.GpsDestLatitude;
  T.GpsDestLongitudeRef = S.GpsDestLongitudeRef;
  T.GpsDestLongitude = S.GpsDestLongitude;
  T.GpsDestBearingRef = S.GpsDestBearingRef;
  T.GpsDestBearing = S.GpsDestBearing;
  T.GpsDestDistanceRef = S.GpsDestDistanceRef;
  T.GpsDestDistance = S.GpsDestDistance;
  T.GpsDateStamp = S.GpsDateStamp;
}

int64_t TiffFindHeader(TStream* Stream) {
  const int64_t Start = Stream->Position();
  const int64_t StreamSize = Stream->Size();
  std::vector<uint8_t> Buffer(static_cast<size_t>(exifblocks::HeaderSearchSize));
  int64_t Got = 0;
  try {
    Got = Stream->Read(Buffer.data(), exifblocks::HeaderSearchSize);
  } catch (...) {
    Stream->SetPosition(Start);
    throw;
  }
  Stream->SetPosition(Start);
  for (int64_t i = 0; i + 8 <= Got; ++i) {
    const uint8_t* P = Buffer.data() + i;
    uint32_t Version, Offset;
    if (P[0] == 'I' && P[1] == 'I') {
      Version = uint32_t(P[2]) | uint32_t(P[3]) << 8;
      Offset = uint32_t(P[4]) | uint32_t(P[5]) << 8 | uint32_t(P[6]) << 16 | uint32_t(P[7]) << 24;
    } else if (P[0] == 'M' && P[1] == 'M') {
      Version = uint32_t(P[2]) << 8 | uint32_t(P[3]);
      Offset = uint32_t(P[4]) << 24 | uint32_t(P[5]) << 16 | uint32_t(P[6]) << 8 | uint32_t(P[7]);
    } else {
      continue;
    }
    if (int64_t(Offset) < StreamSize && (Version == 42 || Version == 0x4F52 || Version == 0x5352)) return i;
  }
  return -1;
}

}  // namespace zv
