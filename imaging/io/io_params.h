// The parameters-and-metadata record of one image being read or written: readers fill it from a
// file, writers take their options from it, and the application sets each GIF frame's fields in it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/annotations.h"
#include "imaging/core/dicom_tags.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/iedefs.h"
#include "imaging/core/jpeg_markers.h"
#include "imaging/core/maker_notes.h"
#include "platform/lists.h"
#include "platform/objects.h"

namespace zv {

class TStream;
class TIEBitmap;
class TImagingIO;

// ---- LZW coder hooks ------------------------------------------------------------------------------

// GIF image data: Pixels holds Width x Height colour indexes, top row first, one byte each.
using TGifLzwEncoderProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced,
                                    const uint8_t* Pixels, int32_t Bits);
using TGifLzwDecoderProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced,
                                    uint8_t* Pixels);
// TIFF strips: the decoder hands out RowLength decoded bytes per call from the DataSize bytes of the
// strip at Data, whose end is its end of information (nullptr when the data are broken, or after the
// call with Data nullptr that frees State); the encoder codes Count bytes per call and ends the code
// stream on the call with Data nullptr.
using TTiffLzwDecoderProc = uint8_t* (*)(const uint8_t* Data, int32_t DataSize, int32_t RowLength, void*& State,
                                         int32_t FillOrder);
using TTiffLzwEncoderProc = void (*)(const void* Data, int32_t Count, TStream* Stream, void*& State);
// The TIFF strip coders of the file-format library, handed over before the I/O unit's start-up, which
// installs them as the global ones; empty while that library is not started.
struct TTiffLzwCoders {
  TTiffLzwDecoderProc Decoder = nullptr;
  TTiffLzwEncoderProc Encoder = nullptr;
};
extern TTiffLzwCoders SuppliedTiffLzwCoders;

// The library-wide coders, installed by the I/O unit's start-up; every reset copies them into the
// record, and a codec whose record holds none falls back to these.
extern TGifLzwDecoderProc GlobalGifLzwDecoder;
extern TGifLzwEncoderProc GlobalGifLzwEncoder;
extern TTiffLzwDecoderProc GlobalTiffLzwDecoder;
extern TTiffLzwEncoderProc GlobalTiffLzwEncoder;

// The library's default resolution, used wherever a file carries none (300 x 300 DPI).
extern int32_t DefaultDpiX;
extern int32_t DefaultDpiY;

// How a record reaches its owning I/O component, which is built above it. The component installs
// these; while they are empty a record acts as if its owner had no image and no view.
struct TIOParamsOwnerLink {
  // True with the size of the owner's current image when it has one.
  bool (*CurrentImageSize)(TImagingIO* Owner, int32_t& Width, int32_t& Height) = nullptr;
  // Sets the horizontal (Horizontal true) or vertical resolution of the owner's attached view, when
  // that is an image view, inside a locked update of the view.
  void (*SetViewDpi)(TImagingIO* Owner, bool Horizontal, int32_t Value) = nullptr;
};
extern TIOParamsOwnerLink IOParamsOwnerLink;

// ---- EXIF tag ids kept in ExifTagsPresent by the value setters ---------------------------------------
constexpr int32_t ExifTagExposureTime = 0x829A;
constexpr int32_t ExifTagFNumber = 0x829D;
constexpr int32_t ExifTagExposureProgram = 0x8822;
constexpr int32_t ExifTagCompressedBitsPerPixel = 0x9102;
constexpr int32_t ExifTagShutterSpeedValue = 0x9201;
constexpr int32_t ExifTagApertureValue = 0x9202;
constexpr int32_t ExifTagBrightnessValue = 0x9203;
constexpr int32_t ExifTagExposureBiasValue = 0x9204;
constexpr int32_t ExifTagMaxApertureValue = 0x9205;
constexpr int32_t ExifTagSubjectDistance = 0x9206;
constexpr int32_t ExifTagMeteringMode = 0x9207;
constexpr int32_t ExifTagLightSource = 0x9208;
constexpr int32_t ExifTagFlash = 0x9209;
constexpr int32_t ExifTagFocalLength = 0x920A;
constexpr int32_t ExifTagColorSpace = 0xA001;
constexpr int32_t ExifTagPixelXDimension = 0xA002;
constexpr int32_t ExifTagPixelYDimension = 0xA003;
constexpr int32_t ExifTagFocalPlaneXResolution = 0xA20E;
constexpr int32_t ExifTagFocalPlaneYResolution = 0xA20F;
constexpr int32_t ExifTagFocalPlaneResolutionUnit = 0xA210;
constexpr int32_t ExifTagExposureIndex = 0xA215;
constexpr int32_t ExifTagSensingMethod = 0xA217;
constexpr int32_t ExifTagFileSource = 0xA300;
constexpr int32_t ExifTagSceneType = 0xA301;

// ---- The record ---------------------------------------------------------------------------------------

// Plain fields are public; the fields whose setters do more (push the resolution to a view, keep
// two fields equal, track the present EXIF tags) are read through getters and written through their
// setters. Booleans are bytes, 0 or 1.
class TIOParamsVals : public TObject {
public:
  explicit TIOParamsVals(TImagingIO* AOwner);
  ~TIOParamsVals() override;
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  void ResetAll();
  void ResetExif();
  // Drops the previous image's metadata; format options, sizes and GIF frame settings stay.
  void ClearMetadata();
  void Assign(const TIOParamsVals& Source);

  void FreePalette() { Palette.clear(); }
  int32_t PaletteCount() const { return static_cast<int32_t>(Palette.size()); }

  // The six index fields and the four count fields together.
  void SetImageIndex(int32_t Value);
  void SetImageCount(uint32_t Value);

  int32_t DpiX() const { return FDpiX; }
  int32_t DpiY() const { return FDpiY; }
  void SetDpiX(int32_t Value);
  void SetDpiY(int32_t Value);
  // The integer part goes to DpiX, the exact value to ExifXResolution.
  void SetDpiXFloat(double Value);
  void SetDpiYFloat(double Value);

  uint8_t LoadThumbnail() const { return FLoadThumbnail; }
  void SetLoadThumbnail(uint8_t Value);
  void SetRawLoadThumbnail(uint8_t Value) { RawLoadThumbnail = Value; }

  int32_t TiffOrientation() const { return FTiffOrientation; }
  int32_t ExifOrientation() const { return FExifOrientation; }
  void SetTiffOrientation(int32_t Value);
  void SetExifOrientation(int32_t Value);

  // The colour profiles, made on first use: the one embedded in the file read, the library's default
  // (sRGB) and the target of the colour conversion. The plain getters answer nullptr while there is none.
  TIEICC* InputIcc() const { return FInputIcc.get(); }
  TIEICC* DefaultIcc() const { return FDefaultIcc.get(); }
  TIEICC* TargetIcc() const { return FTargetIcc.get(); }
  TIEICC* GetInputIcc();
  TIEICC* GetDefaultIcc();
  TIEICC* GetTargetIcc();
  void FreeInputIcc() { FInputIcc.reset(); }

  // The annotations of the image read, made on first use with this record as their owner.
  TIEImagingAnnot* ImagingAnnot() const { return FImagingAnnot.get(); }
  TIEImagingAnnot* GetImagingAnnot();
  void FreeImagingAnnot() { FImagingAnnot.reset(); }

  TIEBitmap* ExifThumbnail() const { return FExifThumbnail.get(); }
  // Creates the thumbnail bitmap when there is none.
  TIEBitmap* GetExifThumbnail();
  void FreeExifThumbnail();

  void AddExifTag(int32_t Tag);
  void RemoveExifTag(int32_t Tag);

  // Indexed EXIF values, no range check; they leave ExifTagsPresent alone.
  void SetExifIsoSpeed(int32_t Index, int32_t Value) { ExifIsoSpeedRatings[Index] = Value; }
  int32_t GetExifIsoSpeed(int32_t Index) const { return ExifIsoSpeedRatings[Index]; }
  void SetExifWhitePoint(int32_t Index, double Value) { ExifWhitePoint[Index] = Value; }
  double GetExifWhitePoint(int32_t Index) const { return ExifWhitePoint[Index]; }
  void SetExifPrimaryChromaticities(int32_t Index, double Value) { ExifPrimaryChromaticities[Index] = Value; }
  double GetExifPrimaryChromaticities(int32_t Index) const { return ExifPrimaryChromaticities[Index]; }
  void SetExifYCbCrCoefficients(int32_t Index, double Value) { ExifYCbCrCoefficients[Index] = Value; }
  double GetExifYCbCrCoefficients(int32_t Index) const { return ExifYCbCrCoefficients[Index]; }
  void SetExifReferenceBlackWhite(int32_t Index, double Value) { ExifReferenceBlackWhite[Index] = Value; }
  double GetExifReferenceBlackWhite(int32_t Index) const { return ExifReferenceBlackWhite[Index]; }

  // EXIF values whose setters add their tag to ExifTagsPresent, or remove it for the absent value.
  double ExifExposureTime() const { return FExifExposureTime; }
  void SetExifExposureTime(double Value);
  double ExifFNumber() const { return FExifFNumber; }
  void SetExifFNumber(double Value);
  int32_t ExifExposureProgram() const { return FExifExposureProgram; }
  void SetExifExposureProgram(int32_t Value);
  double ExifCompressedBitsPerPixel() const { return FExifCompressedBitsPerPixel; }
  void SetExifCompressedBitsPerPixel(double Value);
  double ExifShutterSpeedValue() const { return FExifShutterSpeedValue; }
  void SetExifShutterSpeedValue(double Value);
  double ExifApertureValue() const { return FExifApertureValue; }
  void SetExifApertureValue(double Value);
  double ExifBrightnessValue() const { return FExifBrightnessValue; }
  void SetExifBrightnessValue(double Value);
  double ExifExposureBiasValue() const { return FExifExposureBiasValue; }
  void SetExifExposureBiasValue(double Value);
  double ExifMaxApertureValue() const { return FExifMaxApertureValue; }
  void SetExifMaxApertureValue(double Value);
  double ExifSubjectDistance() const { return FExifSubjectDistance; }
  void SetExifSubjectDistance(double Value);
  int32_t ExifMeteringMode() const { return FExifMeteringMode; }
  void SetExifMeteringMode(int32_t Value);
  int32_t ExifLightSource() const { return FExifLightSource; }
  void SetExifLightSource(int32_t Value);
  int32_t ExifFlash() const { return FExifFlash; }
  void SetExifFlash(int32_t Value);
  double ExifFocalLength() const { return FExifFocalLength; }
  void SetExifFocalLength(double Value);
  int32_t ExifColorSpace() const { return FExifColorSpace; }
  void SetExifColorSpace(int32_t Value);
  int32_t ExifPixelXDimension() const { return FExifPixelXDimension; }
  void SetExifPixelXDimension(int32_t Value);
  int32_t ExifPixelYDimension() const { return FExifPixelYDimension; }
  void SetExifPixelYDimension(int32_t Value);
  double ExifFocalPlaneXResolution() const { return FExifFocalPlaneXResolution; }
  void SetExifFocalPlaneXResolution(double Value);
  double ExifFocalPlaneYResolution() const { return FExifFocalPlaneYResolution; }
  void SetExifFocalPlaneYResolution(double Value);
  int32_t ExifFocalPlaneResolutionUnit() const { return FExifFocalPlaneResolutionUnit; }
  void SetExifFocalPlaneResolutionUnit(int32_t Value);
  double ExifExposureIndex() const { return FExifExposureIndex; }
  void SetExifExposureIndex(double Value);
  int32_t ExifSensingMethod() const { return FExifSensingMethod; }
  void SetExifSensingMethod(int32_t Value);
  int32_t ExifFileSource() const { return FExifFileSource; }
  void SetExifFileSource(int32_t Value);
  int32_t ExifSceneType() const { return FExifSceneType; }
  void SetExifSceneType(int32_t Value);

  // ---- Common ------------------------------------------------------------------------------------------
  TImagingIO* Owner;
  int32_t BitsPerSample = 8;  // for GIF the palette bits, 1 to 8
  std::string FileName;
  int32_t SamplesPerPixel = 3;  // 1 palette or grey, 3 colour
  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t FileType = 0;  // id of the format of the last load or save
  int32_t ImageIndex = 0;
  int32_t ImageCount = 0;
  uint8_t IsResource = 0;  // an ICO or CUR stream holds a resource entry without the file header
  int32_t OriginalWidth = 0;
  int32_t OriginalHeight = 0;
  uint8_t NativePixelFormat = 0;  // keep palette and grey pixel formats on load
  std::vector<TIERGB24> Palette;  // copy of the file's palette
  std::string Xmp;

  // ---- TIFF ----------------------------------------------------------------------------------------------
  uint8_t TiffCompression = 0;
  int32_t TiffImageIndex = 0;
  int32_t TiffSubIndex = -1;
  uint8_t TiffPhotometric = 2;
  uint32_t TiffPlanarConfig = 1;
  uint32_t TiffXPosition = 0;
  uint32_t TiffYPosition = 0;
  int32_t TiffTileIndex = -1;
  std::string TiffDocumentName;
  std::string TiffImageDescription;
  std::string TiffPageName;
  int32_t TiffPageNumber = -1;
  int32_t TiffPageTotal = -1;
  TTiffLzwDecoderProc TiffLzwDecoder = nullptr;
  TTiffLzwEncoderProc TiffLzwEncoder = nullptr;
  uint8_t TiffApplyOrientation = 0;
  int32_t TiffJpegQuality = 80;
  uint8_t TiffJpegColorSpace = 2;
  int32_t TiffZipCompression = 1;
  uint32_t TiffImageCount = 0;
  uint32_t TiffFillOrder = 1;
  uint8_t TiffLittleEndian = 1;

  // ---- DCX and AVI ---------------------------------------------------------------------------------------
  int32_t DcxImageIndex = 0;
  uint32_t AviFrameCount = 0;
  uint32_t AviFrameDelay = 0;  // milliseconds

  // ---- GIF -------------------------------------------------------------------------------------------------
  std::string GifVersion = "GIF89a";  // its first six characters are written
  uint32_t GifImageIndex = 0;         // frame to read, or insertion index
  int32_t GifLeft = 0;
  int32_t GifTop = 0;
  int32_t GifDelay = 0;  // hundredths of a second; the low 16 bits are written
  uint8_t GifTransparent = 0;
  TIERGB24 GifTransparentColor{0, 0, 0};
  uint8_t GifInterlaced = 0;
  int32_t GifScreenWidth = 0;
  int32_t GifScreenHeight = 0;
  TIERGB24 GifBackgroundColor{0, 0, 0};
  uint32_t GifAspect = 0;
  TStringList GifComments;
  uint8_t GifDisposal = 2;
  TGifLzwDecoderProc GifDecoder = nullptr;
  TGifLzwEncoderProc GifEncoder = nullptr;
  uint32_t GifImageCount = 0;

  // ---- JPEG ------------------------------------------------------------------------------------------------
  uint8_t JpegColorSpace = 2;  // 0 RGB, 1 grey, 2 YCbCr, 3 CMYK, 4 YCCK
  int32_t JpegQuality = 80;
  uint8_t JpegDctMethod = 0;
  uint8_t JpegSampling = 1;
  uint8_t JpegOptimize = 0;
  uint32_t JpegSmoothing = 0;
  uint8_t JpegProgressive = 0;
  uint8_t JpegScale = 1;  // 0 automatic, 1 full, 2 half, 3 quarter, 4 eighth
  uint32_t JpegScaleUsed = 1;
  int32_t JpegWarningCount = 0;  // library warnings of the last read
  int32_t JpegWarningCode = 0;   // the code of its last warning
  uint8_t JpegApplyOrientation = 0;
  uint8_t JpegLoadThumbnail = 0;
  TIEMarkerList JpegMarkers;  // markers kept from load to save

  // ---- JPEG 2000 -----------------------------------------------------------------------------------------
  uint8_t J2kColorSpace = 1;
  double J2kRate = 1.0;
  uint8_t J2kProgression = 0;

  // ---- PCX and BMP -----------------------------------------------------------------------------------------
  uint32_t PcxVersion = 5;
  uint8_t PcxCompression = 1;
  uint8_t BmpHeaderKind = 1;  // 0 another size, 1 40 bytes, 2 12-byte core header, 3 64 bytes
  uint8_t BmpCompression = 0;
  uint8_t BmpLoadAlpha = 0;

  // ---- ICO and CUR -----------------------------------------------------------------------------------------
  int32_t IcoImageIndex = 0;
  TIERGB24 IcoBackgroundColor{255, 255, 255};
  int32_t CurImageIndex = 0;
  int32_t CurHotSpotX = 0;
  int32_t CurHotSpotY = 0;
  TIERGB24 CurBackgroundColor{255, 255, 255};
  struct TIcoSize {
    int32_t Width;
    int32_t Height;
  };
  std::array<TIcoSize, 16> IcoSizes{};
  std::array<int32_t, 16> IcoBitCounts{};

  // ---- PNG ---------------------------------------------------------------------------------------------------
  uint8_t PngInterlaced = 0;
  TIERGB24 PngBackgroundColor{0, 0, 0};
  uint8_t PngFilter = 0;
  uint32_t PngCompression = 5;
  TStringList PngTextKeys;
  TStringList PngTextValues;

  // ---- DICOM -------------------------------------------------------------------------------------------------
  TIEDICOMTags DicomTags;

  // ---- TGA ---------------------------------------------------------------------------------------------------
  uint32_t TgaXOrigin = 0;
  uint32_t TgaYOrigin = 0;
  uint8_t TgaCompressed = 1;
  std::string TgaImageId;
  std::string TgaAuthor;
  double TgaDateTime = 0;
  std::string TgaJobName;
  TIERGB24 TgaKeyColor{0, 0, 0};
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  uint8_t TgaGrayscale = 0;

  // ---- Other metadata ------------------------------------------------------------------------------------
  TIEIPTCInfoList IptcInfo;
  TStringList PnmComments;
  std::vector<int32_t> ExifTagsPresent;  // EXIF tag ids that carry a value

  // ---- EXIF (absent values set by ResetExif) ---------------------------------------------------------
  uint8_t ExifPresent = 0;
  std::string ExifImageDescription;
  std::string ExifMake;
  std::string ExifModel;
  double ExifXResolution = 0;
  double ExifYResolution = 0;
  int32_t ExifResolutionUnit = 0;
  std::string ExifSoftware;
  std::string ExifArtist;
  std::string ExifDateTime;
  std::array<double, 2> ExifWhitePoint{};
  std::array<double, 6> ExifPrimaryChromaticities{};
  std::array<double, 3> ExifYCbCrCoefficients{};
  int32_t ExifYCbCrPositioning = -1;
  std::array<double, 6> ExifReferenceBlackWhite{};
  std::string ExifCopyright;
  std::array<int32_t, 2> ExifIsoSpeedRatings{};
  std::string ExifVersion;
  std::string ExifDateTimeOriginal;
  std::string ExifDateTimeDigitized;
  std::string ExifSubsecTime;
  std::string ExifSubsecTimeOriginal;
  std::string ExifSubsecTimeDigitized;
  std::string ExifFlashPixVersion;
  std::string ExifRelatedSoundFile;
  std::string ExifUserComment;
  std::string ExifUserCommentCode;
  int32_t ExifRating = -1;
  std::string ExifXpTitle;
  std::string ExifXpComment;
  std::string ExifXpAuthor;
  std::string ExifXpKeywords;
  std::string ExifXpSubject;
  int32_t ExifExposureMode = -1;
  int32_t ExifWhiteBalance = -1;
  double ExifDigitalZoomRatio = -1;
  int32_t ExifFocalLengthIn35mmFilm = -1;
  int32_t ExifSceneCaptureType = -1;
  int32_t ExifGainControl = -1;
  int32_t ExifContrast = -1;
  int32_t ExifSaturation = -1;
  int32_t ExifSharpness = -1;
  int32_t ExifSubjectDistanceRange = -1;
  std::string ExifImageUniqueId;
  TIETagsHandler ExifMakerNote;

  // ---- GPS ---------------------------------------------------------------------------------------------------
  std::string GpsVersionId;
  std::string GpsLatitudeRef;
  std::array<double, 3> GpsLatitude{};  // degrees, minutes, seconds
  std::string GpsLongitudeRef;
  std::array<double, 3> GpsLongitude{};
  std::string GpsAltitudeRef;
  double GpsAltitude = 0;
  std::array<double, 3> GpsTimeStamp{};
  std::string GpsSatellites;
  std::string GpsStatus;
  std::string GpsMeasureMode;
  double GpsDop = 0;
  std::string GpsSpeedRef;
  double GpsSpeed = 0;
  std::string GpsTrackRef;
  double GpsTrack = 0;
  std::string GpsImgDirectionRef;
  double GpsImgDirection = 0;
  std::string GpsMapDatum;
  std::string GpsDestLatitudeRef;
  std::array<double, 3> GpsDestLatitude{};
  std::string GpsDestLongitudeRef;
  std::array<double, 3> GpsDestLongitude{};
  std::string GpsDestBearingRef;
  double GpsDestBearing = 0;
  std::string GpsDestDistanceRef;
  double GpsDestDistance = 0;
  std::string GpsDateStamp;

  // ---- PostScript and PDF ----------------------------------------------------------------------------------
  int32_t PsPaperWidth = 595;  // points
  int32_t PsPaperHeight = 842;
  uint8_t PsCompression = 1;
  std::string PsTitle = "No Title";
  int32_t PdfPaperWidth = 595;
  int32_t PdfPaperHeight = 842;
  uint8_t PdfCompression = 2;
  std::string PdfTitle;
  std::string PdfAuthor;
  std::string PdfSubject;
  std::string PdfKeywords;
  std::string PdfCreator;
  std::string PdfProducer;

  // ---- Camera raw --------------------------------------------------------------------------------------------
  uint8_t RawHalfSize = 0;
  double RawGamma = 0.6;
  double RawBrightness = 1.0;
  double RawRedScale = 1.0;
  double RawBlueScale = 1.0;
  // Quick interpolation, white balance from the image, the camera's white balance, the two greens apart.
  std::array<uint8_t, 4> RawOptions{1, 0, 0, 0};
  uint8_t RawLoadThumbnail = 0;
  uint8_t RawUseEmbedded = 0;
  std::string RawCamera;  // make, model and second model of the camera that wrote the file read

  // ---- Headerless raw pixels -------------------------------------------------------------------------------
  uint8_t RawPixelsBgr = 0;     // 0: samples stored red first
  uint8_t RawPixelsPlanar = 0;  // 1: one plane per channel
  int32_t RawPixelsRowAlign = 8;  // bits
  int32_t RawPixelsHeaderSize = 0;
  uint8_t RawPixelsDataFormat = 0;  // 0 binary, 1 decimal text, 2 hexadecimal text

  // ---- PSD and HD Photo ------------------------------------------------------------------------------------
  uint8_t PsdLoadLayers = 0;
  uint8_t PsdReplaceLayers = 1;
  double HdpQuality = 0.9;
  uint8_t HdpLossless = 0;

private:
  void SetExifValue(double& Field, double Value, int32_t Tag, double Absent);
  void SetExifValue(int32_t& Field, int32_t Value, int32_t Tag, int32_t Absent);

  int32_t FDpiX = 0;
  int32_t FDpiY = 0;
  uint8_t FLoadThumbnail = 0;
  int32_t FTiffOrientation = 1;
  int32_t FExifOrientation = 0;
  std::unique_ptr<TIEBitmap> FExifThumbnail;
  std::unique_ptr<TIEImagingAnnot> FImagingAnnot;
  std::unique_ptr<TIEICC> FInputIcc;
  std::unique_ptr<TIEICC> FDefaultIcc;
  std::unique_ptr<TIEICC> FTargetIcc;

  double FExifExposureTime = -1;
  double FExifFNumber = -1;
  int32_t FExifExposureProgram = -1;
  double FExifCompressedBitsPerPixel = 0;
  double FExifShutterSpeedValue = -1;
  double FExifApertureValue = -1;
  double FExifBrightnessValue = -1000;
  double FExifExposureBiasValue = -1000;
  double FExifMaxApertureValue = -1000;
  double FExifSubjectDistance = -1;
  int32_t FExifMeteringMode = -1;
  int32_t FExifLightSource = -1;
  int32_t FExifFlash = -1;
  double FExifFocalLength = -1;
  int32_t FExifColorSpace = -1;
  int32_t FExifPixelXDimension = 0;
  int32_t FExifPixelYDimension = 0;
  double FExifFocalPlaneXResolution = -1;
  double FExifFocalPlaneYResolution = -1;
  int32_t FExifFocalPlaneResolutionUnit = -1;
  double FExifExposureIndex = -1;
  int32_t FExifSensingMethod = -1;
  int32_t FExifFileSource = -1;
  int32_t FExifSceneType = -1;
};

}  // namespace zv
