#include "imaging/io/io_params.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/bitmap.h"
#include "platform/sysutils.h"

namespace zv {

TGifLzwDecoderProc GlobalGifLzwDecoder = nullptr;
TGifLzwEncoderProc GlobalGifLzwEncoder = nullptr;
TTiffLzwDecoderProc GlobalTiffLzwDecoder = nullptr;
TTiffLzwEncoderProc GlobalTiffLzwEncoder = nullptr;
TTiffLzwCoders SuppliedTiffLzwCoders;

int32_t DefaultDpiX = 300;
int32_t DefaultDpiY = 300;

TIOParamsOwnerLink IOParamsOwnerLink;

TIOParamsVals::TIOParamsVals(TImagingIO* AOwner) : Owner(AOwner) { ResetAll(); }

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetImageIndex(int32_t Value) {
  ImageIndex = Value;
  TiffImageIndex = Value;
  DcxImageIndex = Value;
  GifImageIndex = static_cast<uint32_t>(Value);
  IcoImageIndex = Value;
  CurImageIndex = Value;
}

void TIOParamsVals::SetImageCount(uint32_t Value) {
  ImageCount = static_cast<int32_t>(Value);
  TiffImageCount = Value;
  AviFrameCount = Value;
  GifImageCount = Value;
}

void TIOParamsVals::SetDpiX(int32_t Value) {
  FDpiX = Value;
  ExifXResolution = Value;
  if (Owner != nullptr && IOParamsOwnerLink.SetViewDpi) IOParamsOwnerLink.SetViewDpi(Owner, true, Value);
}

void TIOParamsVals::SetDpiY(int32_t Value) {
  FDpiY = Value;
  ExifYResolution = Value;
  if (Owner != nullptr && IOParamsOwnerLink.SetViewDpi) IOParamsOwnerLink.SetViewDpi(Owner, false, Value);
}

void TIOParamsVals::SetDpiXFloat(double Value) {
  SetDpiX(static_cast<int32_t>(std::trunc(Value)));
  ExifXResolution = Value;
}

void TIOParamsVals::SetDpiYFloat(double Value) {
  SetDpiY(static_cast<int32_t>(std::trunc(Value)));
  ExifYResolution = Value;
}

void TIOParamsVals::SetLoadThumbnail(uint8_t Value) {
  FLoadThumbnail = Value;
  JpegLoadThumbnail = Value;
}

void TIOParamsVals::SetTiffOrientation(int32_t Value) {
  FTiffOrientation = Value;
  FExifOrientation = Value;
}

void TIOParamsVals::SetExifOrientation(int32_t Value) { SetTiffOrientation(Value); }

TIEBitmap* TIOParamsVals::GetExifThumbnail() {
  if (!FExifThumbnail) FExifThumbnail = std::make_unique<TIEBitmap>();
  return FExifThumbnail.get();
}

void TIOParamsVals::FreeExifThumbnail() { FExifThumbnail.reset(); }

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
  if (!FImagingAnnot) {
    FImagingAnnot = std::make_unique<TIEImagingAnnot>();
    FImagingAnnot->Owner = this;
  }
  return FImagingAnnot.get();
}

TIEICC* TIOParamsVals::GetInputIcc() {
  if (!FInputIcc) FInputIcc = std::make_unique<TIEICC>();
  return FInputIcc.get();
}

TIEICC* TIOParamsVals::GetDefaultIcc() {
  if (!FDefaultIcc) {
    FDefaultIcc = std::make_unique<TIEICC>();
    FDefaultIcc->LoadSRGBProfile();
  }
  return FDefaultIcc.get();
}

TIEICC* TIOParamsVals::GetTargetIcc() {
  if (!FTargetIcc) FTargetIcc = std::make_unique<TIEICC>();
  return FTargetIcc.get();
}

namespace {

// Target's profile becomes a copy of Source's, or goes when Source has none.
void AssignProfile(std::unique_ptr<TIEICC>& Target, const std::unique_ptr<TIEICC>& Source) {
  if (!Source) {
    Target.reset();
    return;
  }
  if (!Target) Target = std::make_unique<TIEICC>();
  Target->Assign(Source.get());
}

}  // namespace

void TIOParamsVals::AddExifTag(int32_t Tag) {
  if (std::find(ExifTagsPresent.begin(), ExifTagsPresent.end(), Tag) == ExifTagsPresent.end())
    ExifTagsPresent.push_back(Tag);
}

void TIOParamsVals::RemoveExifTag(int32_t Tag) {
  auto it = std::find(ExifTagsPresent.begin(), ExifTagsPresent.end(), Tag);
  if (it != ExifTagsPresent.end()) ExifTagsPresent.erase(it);
}

void TIOParamsVals::SetExifValue(double& Field, double Value, int32_t Tag, double Absent) {
  Field = Value;
  if (Value != Absent)
    AddExifTag(Tag);
  else
    RemoveExifTag(Tag);
}

void TIOParamsVals::SetExifValue(int32_t& Field, int32_t Value, int32_t Tag, int32_t Absent) {
  Field = Value;
  if (Value != Absent)
    AddExifTag(Tag);
  else
    RemoveExifTag(Tag);
}

void TIOParamsVals::SetExifExposureTime(double V) { SetExifValue(FExifExposureTime, V, ExifTagExposureTime, -1); }
void TIOParamsVals::SetExifFNumber(double V) { SetExifValue(FExifFNumber, V, ExifTagFNumber, -1); }
void TIOParamsVals::SetExifExposureProgram(int32_t V) {
  SetExifValue(FExifExposureProgram, V, ExifTagExposureProgram, -1);
}
void TIOParamsVals::SetExifCompressedBitsPerPixel(double V) {
  SetExifValue(FExifCompressedBitsPerPixel, V, ExifTagCompressedBitsPerPixel, 0);
}
void TIOParamsVals::SetExifShutterSpeedValue(double V) {
  SetExifValue(FExifShutterSpeedValue, V, ExifTagShutterSpeedValue, -1);
}
void TIOParamsVals::SetExifApertureValue(double V) { SetExifValue(FExifApertureValue, V, ExifTagApertureValue, -1); }
void TIOParamsVals::SetExifBrightnessValue(double V) {
  SetExifValue(FExifBrightnessValue, V, ExifTagBrightnessValue, -1000);
}
void TIOParamsVals::SetExifExposureBiasValue(double V) {
  SetExifValue(FExifExposureBiasValue, V, ExifTagExposureBiasValue, -1000);
}
void TIOParamsVals::SetExifMaxApertureValue(double V) {
  SetExifValue(FExifMaxApertureValue, V, ExifTagMaxApertureValue, -1000);
}
void TIOParamsVals::SetExifSubjectDistance(double V) {
  SetExifValue(FExifSubjectDistance, V, ExifTagSubjectDistance, -1);
}
void TIOParamsVals::SetExifMeteringMode(int32_t V) { SetExifValue(FExifMeteringMode, V, ExifTagMeteringMode, -1); }
void TIOParamsVals::SetExifLightSource(int32_t V) { SetExifValue(FExifLightSource, V, ExifTagLightSource, -1); }
void TIOParamsVals::SetExifFlash(int32_t V) { SetExifValue(FExifFlash, V, ExifTagFlash, -1); }
void TIOParamsVals::SetExifFocalLength(double V) { SetExifValue(FExifFocalLength, V, ExifTagFocalLength, -1); }
void TIOParamsVals::SetExifColorSpace(int32_t V) { SetExifValue(FExifColorSpace, V, ExifTagColorSpace, -1); }
void TIOParamsVals::SetExifPixelXDimension(int32_t V) {
  SetExifValue(FExifPixelXDimension, V, ExifTagPixelXDimension, 0);
}
void TIOParamsVals::SetExifPixelYDimension(int32_t V) {
  SetExifValue(FExifPixelYDimension, V, ExifTagPixelYDimension, 0);
}
void TIOParamsVals::SetExifFocalPlaneXResolution(double V) {
  SetExifValue(FExifFocalPlaneXResolution, V, ExifTagFocalPlaneXResolution, -1);
}
void TIOParamsVals::SetExifFocalPlaneYResolution(double V) {
  SetExifValue(FExifFocalPlaneYResolution, V, ExifTagFocalPlaneYResolution, -1);
}
void TIOParamsVals::SetExifFocalPlaneResolutionUnit(int32_t V) {
  SetExifValue(FExifFocalPlaneResolutionUnit, V, ExifTagFocalPlaneResolutionUnit, -1);
}
void TIOParamsVals::SetExifExposureIndex(double V) {
  SetExifValue(FExifExposureIndex, V, ExifTagExposureIndex, -1);
}
void TIOParamsVals::SetExifSensingMethod(int32_t V) {
  SetExifValue(FExifSensingMethod, V, ExifTagSensingMethod, -1);
}
void TIOParamsVals::SetExifFileSource(int32_t V) { SetExifValue(FExifFileSource, V, ExifTagFileSource, -1); }
void TIOParamsVals::SetExifSceneType(int32_t V) { SetExifValue(FExifSceneType, V, ExifTagSceneType, -1); }

void TIOParamsVals::ResetAll() {
  // 1. What describes the image itself.
  FreePalette();
  FileName.clear();
  FileType = 0;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  NativePixelFormat = 0;

  // 2. A record without an owner keeps its size and resolution.
  if (Owner != nullptr) {
    int32_t w = 0, h = 0;
    if (IOParamsOwnerLink.CurrentImageSize && IOParamsOwnerLink.CurrentImageSize(Owner, w, h)) {
      Width = w;
      Height = h;
    }
    SetDpiX(DefaultDpiX);
    SetDpiY(DefaultDpiY);
  }

  // 3. Common flags and GIF.
  ImageCount = 0;
  IsResource = 0;
  OriginalWidth = 0;
  OriginalHeight = 0;
  GifVersion = "GIF89a";
  SetImageIndex(0);
  GifLeft = 0;
  GifTop = 0;
  GifDelay = 0;
  GifTransparent = 0;
  GifTransparentColor = TIERGB24{0, 0, 0};
  GifInterlaced = 0;
  GifScreenWidth = 0;
  GifScreenHeight = 0;
  GifBackgroundColor = TIERGB24{0, 0, 0};
  GifAspect = 0;
  GifImageCount = 0;
  GifDecoder = GlobalGifLzwDecoder;
  GifEncoder = GlobalGifLzwEncoder;
  GifComments.Clear();
  GifDisposal = 2;

  // 4. TIFF, JPEG, JPEG 2000, PCX, BMP, ICO, CUR, PNG, DICOM, PSD, HD Photo, TGA, IPTC, PNM.
  TiffCompression = 0;
  TiffSubIndex = -1;
  TiffPhotometric = 2;
  TiffPlanarConfig = 1;
  TiffXPosition = 0;
  TiffYPosition = 0;
  TiffTileIndex = -1;
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffPageNumber = -1;
  TiffPageTotal = -1;
  SetTiffOrientation(1);
  TiffLzwDecoder = GlobalTiffLzwDecoder;
  TiffLzwEncoder = GlobalTiffLzwEncoder;
  TiffApplyOrientation = 0;
  TiffJpegQuality = 80;
  TiffJpegColorSpace = 2;
  TiffZipCompression = 1;
  TiffImageCount = 0;
  TiffFillOrder = 1;
  TiffLittleEndian = 1;
  AviFrameCount = 0;
  AviFrameDelay = 0;

  JpegColorSpace = 2;
  JpegQuality = 80;
  JpegDctMethod = 0;
  JpegSampling = 1;
  JpegOptimize = 0;
  JpegSmoothing = 0;
  JpegProgressive = 0;
  JpegScale = 1;
  JpegScaleUsed = 1;
  JpegWarningCount = 0;
  JpegWarningCode = 0;
  JpegApplyOrientation = 0;
  JpegMarkers.Clear();
  SetLoadThumbnail(0);

  J2kColorSpace = 1;
  J2kRate = 1.0;
  J2kProgression = 0;

  PcxVersion = 5;
  PcxCompression = 1;
  BmpHeaderKind = 1;
  BmpCompression = 0;
  BmpLoadAlpha = 0;

  IcoBackgroundColor = TIERGB24{255, 255, 255};
  CurHotSpotX = 0;
  CurHotSpotY = 0;
  CurBackgroundColor = TIERGB24{255, 255, 255};
  IcoSizes.fill(TIcoSize{0, 0});
  IcoSizes[0] = TIcoSize{64, 64};
  IcoBitCounts.fill(0);
  IcoBitCounts[0] = 8;

  PngInterlaced = 0;
  PngBackgroundColor = TIERGB24{0, 0, 0};
  PngFilter = 0;
  PngCompression = 5;
  PngTextKeys.Clear();
  PngTextValues.Clear();
  DicomTags.Clear();

  PsdLoadLayers = 0;
  PsdReplaceLayers = 1;
  HdpQuality = 0.9;
  HdpLossless = 0;

  TgaXOrigin = 0;
  TgaYOrigin = 0;
  TgaCompressed = 1;
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaDateTime = Date();
  TgaJobName.clear();
  TgaKeyColor = TIERGB24{0, 0, 0};
  TgaAspectRatio = 1.0;
  TgaGamma = 2.2;
  TgaGrayscale = 0;

  IptcInfo.Clear();
  PnmComments.Clear();

  // 5.
  ResetExif();

  // 6. PostScript, PDF, camera raw, raw pixels, XMP.
  PsPaperWidth = 595;
  PsPaperHeight = 842;
  PsCompression = 1;
  PsTitle = "No Title";
  PdfPaperWidth = 595;
  PdfPaperHeight = 842;
  PdfCompression = 2;
  PdfTitle.clear();
  PdfAuthor.clear();
  PdfSubject.clear();
  PdfKeywords.clear();
  PdfCreator.clear();
  PdfProducer.clear();
  FImagingAnnot.reset();
  FInputIcc.reset();
  FDefaultIcc.reset();
  FTargetIcc.reset();

  RawHalfSize = 0;
  RawGamma = 0.6;
  RawBrightness = 1.0;
  RawRedScale = 1.0;
  RawBlueScale = 1.0;
  RawOptions = {1, 0, 0, 0};
  SetRawLoadThumbnail(0);
  RawUseEmbedded = 0;
  RawCamera.clear();

  RawPixelsBgr = 0;
  RawPixelsPlanar = 0;
  RawPixelsRowAlign = 8;
  RawPixelsHeaderSize = 0;
  RawPixelsDataFormat = 0;

  Xmp.clear();
}

void TIOParamsVals::ResetExif() {
  ExifTagsPresent.clear();
  ExifPresent = 0;
  FreeExifThumbnail();
  FExifOrientation = 0;
  ExifImageDescription.clear();
  ExifMake.clear();
  ExifModel.clear();
  ExifXResolution = 0;
  ExifYResolution = 0;
  ExifResolutionUnit = 0;
  ExifSoftware.clear();
  ExifArtist.clear();
  ExifDateTime.clear();
  ExifWhitePoint.fill(-1);
  ExifPrimaryChromaticities.fill(-1);
  ExifYCbCrCoefficients.fill(-1);
  ExifYCbCrPositioning = -1;
  ExifReferenceBlackWhite.fill(-1);
  ExifCopyright.clear();
  FExifExposureTime = -1;
  FExifFNumber = -1;
  FExifExposureProgram = -1;
  ExifIsoSpeedRatings.fill(0);
  ExifVersion.clear();
  ExifDateTimeOriginal.clear();
  ExifDateTimeDigitized.clear();
  FExifCompressedBitsPerPixel = 0;
  FExifShutterSpeedValue = -1;
  FExifApertureValue = -1;
  FExifBrightnessValue = -1000;
  FExifExposureBiasValue = -1000;
  FExifMaxApertureValue = -1000;
  FExifSubjectDistance = -1;
  FExifMeteringMode = -1;
  FExifLightSource = -1;
  FExifFlash = -1;
  FExifFocalLength = -1;
  ExifSubsecTime.clear();
  ExifSubsecTimeOriginal.clear();
  ExifSubsecTimeDigitized.clear();
  ExifFlashPixVersion.clear();
  FExifColorSpace = -1;
  FExifPixelXDimension = 0;
  FExifPixelYDimension = 0;
  ExifRelatedSoundFile.clear();
  FExifFocalPlaneXResolution = -1;
  FExifFocalPlaneYResolution = -1;
  FExifFocalPlaneResolutionUnit = -1;
  FExifExposureIndex = -1;
  FExifSensingMethod = -1;
  FExifFileSource = -1;
  FExifSceneType = -1;
  ExifUserComment.clear();
  ExifUserCommentCode.clear();
  ExifRating = -1;
  ExifXpTitle.clear();
  ExifXpComment.clear();
  ExifXpAuthor.clear();
  ExifXpKeywords.clear();
  ExifXpSubject.clear();
  ExifExposureMode = -1;
  ExifWhiteBalance = -1;
  ExifDigitalZoomRatio = -1;
  ExifFocalLengthIn35mmFilm = -1;
  ExifSceneCaptureType = -1;
  ExifGainControl = -1;
  ExifContrast = -1;
  ExifSaturation = -1;
  ExifSharpness = -1;
  ExifSubjectDistanceRange = -1;
  ExifImageUniqueId.clear();
  ExifMakerNote.Clear();

  GpsVersionId.clear();
  GpsLatitudeRef.clear();
  GpsLatitude.fill(0);
  GpsLongitudeRef.clear();
  GpsLongitude.fill(0);
  GpsAltitudeRef.clear();
  GpsAltitude = 0;
  GpsTimeStamp.fill(0);
  GpsSatellites.clear();
  GpsStatus.clear();
  GpsMeasureMode.clear();
  GpsDop = 0;
  GpsSpeedRef.clear();
  GpsSpeed = 0;
  GpsTrackRef.clear();
  GpsTrack = 0;
  GpsImgDirectionRef.clear();
  GpsImgDirection = 0;
  GpsMapDatum.clear();
  GpsDestLatitudeRef.clear();
  GpsDestLatitude.fill(0);
  GpsDestLongitudeRef.clear();
  GpsDestLongitude.fill(0);
  GpsDestBearingRef.clear();
  GpsDestBearing = 0;
  GpsDestDistanceRef.clear();
  GpsDestDistance = 0;
  GpsDateStamp.clear();

  for (int32_t i = 0; i < JpegMarkers.GetCount(); ++i) {
    if (JpegMarkers.GetMarkerType(i) == 0xE1 && ExifIsMarker(JpegMarkers.GetMarkerData(i), JpegMarkers.GetMarkerLength(i))) {
      JpegMarkers.DeleteMarker(i);
      break;
    }
  }
}

void TIOParamsVals::ClearMetadata() {
  IptcInfo.Clear();
  FImagingAnnot.reset();
  JpegMarkers.Clear();
  ResetExif();
  GifComments.Clear();
  DicomTags.Clear();
  PngTextKeys.Clear();
  PngTextValues.Clear();
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaJobName.clear();
  PnmComments.Clear();
  Xmp.clear();
  FInputIcc.reset();
}

void TIOParamsVals::Assign(const TIOParamsVals& Source) {
  if (&Source == this) return;

  BitsPerSample = Source.BitsPerSample;
  FileName = Source.FileName;
  SamplesPerPixel = Source.SamplesPerPixel;
  Width = Source.Width;
  Height = Source.Height;
  SetDpiX(Source.FDpiX);
  SetDpiY(Source.FDpiY);
  FileType = Source.FileType;
  ImageCount = Source.ImageCount;
  FLoadThumbnail = Source.FLoadThumbnail;
  IsResource = Source.IsResource;
  OriginalWidth = Source.OriginalWidth;
  OriginalHeight = Source.OriginalHeight;
  NativePixelFormat = Source.NativePixelFormat;
  Palette = Source.Palette;
  Xmp = Source.Xmp;

  TiffCompression = Source.TiffCompression;
  TiffSubIndex = Source.TiffSubIndex;
  TiffPhotometric = Source.TiffPhotometric;
  TiffPlanarConfig = Source.TiffPlanarConfig;
  TiffXPosition = Source.TiffXPosition;
  TiffYPosition = Source.TiffYPosition;
  TiffTileIndex = Source.TiffTileIndex;
  TiffDocumentName = Source.TiffDocumentName;
  TiffImageDescription = Source.TiffImageDescription;
  TiffPageName = Source.TiffPageName;
  TiffPageNumber = Source.TiffPageNumber;
  TiffPageTotal = Source.TiffPageTotal;
  FTiffOrientation = Source.FTiffOrientation;
  TiffLzwDecoder = Source.TiffLzwDecoder;
  TiffLzwEncoder = Source.TiffLzwEncoder;
  TiffApplyOrientation = Source.TiffApplyOrientation;
  TiffJpegQuality = Source.TiffJpegQuality;
  TiffJpegColorSpace = Source.TiffJpegColorSpace;
  TiffZipCompression = Source.TiffZipCompression;
  TiffImageCount = Source.TiffImageCount;
  TiffFillOrder = Source.TiffFillOrder;
  TiffLittleEndian = Source.TiffLittleEndian;

  AviFrameCount = Source.AviFrameCount;
  AviFrameDelay = Source.AviFrameDelay;

  GifVersion = Source.GifVersion;
  GifLeft = Source.GifLeft;
  GifTop = Source.GifTop;
  GifDelay = Source.GifDelay;
  GifTransparent = Source.GifTransparent;
  GifTransparentColor = Source.GifTransparentColor;
  GifInterlaced = Source.GifInterlaced;
  GifScreenWidth = Source.GifScreenWidth;
  GifScreenHeight = Source.GifScreenHeight;
  GifBackgroundColor = Source.GifBackgroundColor;
  GifAspect = Source.GifAspect;
  GifComments.Assign(const_cast<TStringList*>(&Source.GifComments));
  GifDisposal = Source.GifDisposal;
  GifDecoder = Source.GifDecoder;
  GifEncoder = Source.GifEncoder;
  GifImageCount = Source.GifImageCount;

  JpegColorSpace = Source.JpegColorSpace;
  JpegQuality = Source.JpegQuality;
  JpegDctMethod = Source.JpegDctMethod;
  JpegSampling = Source.JpegSampling;
  JpegOptimize = Source.JpegOptimize;
  JpegSmoothing = Source.JpegSmoothing;
  JpegProgressive = Source.JpegProgressive;
  JpegScale = Source.JpegScale;
  JpegScaleUsed = Source.JpegScaleUsed;
  JpegWarningCount = Source.JpegWarningCount;
  JpegWarningCode = Source.JpegWarningCode;
  JpegApplyOrientation = Source.JpegApplyOrientation;
  JpegLoadThumbnail = Source.JpegLoadThumbnail;
  JpegMarkers.Assign(&Source.JpegMarkers);

  J2kColorSpace = Source.J2kColorSpace;
  J2kRate = Source.J2kRate;
  J2kProgression = Source.J2kProgression;

  PcxVersion = Source.PcxVersion;
  PcxCompression = Source.PcxCompression;
  BmpHeaderKind = Source.BmpHeaderKind;
  BmpCompression = Source.BmpCompression;
  BmpLoadAlpha = Source.BmpLoadAlpha;

  IcoBackgroundColor = Source.IcoBackgroundColor;
  CurHotSpotX = Source.CurHotSpotX;
  CurHotSpotY = Source.CurHotSpotY;
  CurBackgroundColor = Source.CurBackgroundColor;
  IcoSizes = Source.IcoSizes;
  IcoBitCounts = Source.IcoBitCounts;

  PngInterlaced = Source.PngInterlaced;
  PngBackgroundColor = Source.PngBackgroundColor;
  PngFilter = Source.PngFilter;
  PngCompression = Source.PngCompression;
  PngTextKeys.Assign(const_cast<TStringList*>(&Source.PngTextKeys));
  PngTextValues.Assign(const_cast<TStringList*>(&Source.PngTextValues));
  DicomTags.Assign(&Source.DicomTags);

  TgaXOrigin = Source.TgaXOrigin;
  TgaYOrigin = Source.TgaYOrigin;
  TgaCompressed = Source.TgaCompressed;
  TgaImageId = Source.TgaImageId;
  TgaAuthor = Source.TgaAuthor;
  TgaDateTime = Source.TgaDateTime;
  TgaJobName = Source.TgaJobName;
  TgaKeyColor = Source.TgaKeyColor;
  TgaAspectRatio = Source.TgaAspectRatio;
  TgaGamma = Source.TgaGamma;
  TgaGrayscale = Source.TgaGrayscale;

  PnmComments.Assign(const_cast<TStringList*>(&Source.PnmComments));
  IptcInfo.Assign(&Source.IptcInfo);
  ExifTagsPresent = Source.ExifTagsPresent;

  ExifPresent = Source.ExifPresent;
  FExifOrientation = Source.FExifOrientation;
  if (Source.FExifThumbnail) {
    GetExifThumbnail()->Assign(Source.FExifThumbnail.get());
  } else {
    FreeExifThumbnail();
  }
  ExifImageDescription = Source.ExifImageDescription;
  ExifMake = Source.ExifMake;
  ExifModel = Source.ExifModel;
  ExifXResolution = Source.ExifXResolution;
  ExifYResolution = Source.ExifYResolution;
  ExifResolutionUnit = Source.ExifResolutionUnit;
  ExifSoftware = Source.ExifSoftware;
  ExifArtist = Source.ExifArtist;
  ExifDateTime = Source.ExifDateTime;
  ExifWhitePoint = Source.ExifWhitePoint;
  ExifPrimaryChromaticities = Source.ExifPrimaryChromaticities;
  ExifYCbCrCoefficients = Source.ExifYCbCrCoefficients;
  ExifYCbCrPositioning = Source.ExifYCbCrPositioning;
  ExifReferenceBlackWhite = Source.ExifReferenceBlackWhite;
  ExifCopyright = Source.ExifCopyright;
  FExifExposureTime = Source.FExifExposureTime;
  FExifFNumber = Source.FExifFNumber;
  FExifExposureProgram = Source.FExifExposureProgram;
  ExifIsoSpeedRatings = Source.ExifIsoSpeedRatings;
  ExifVersion = Source.ExifVersion;
  ExifDateTimeOriginal = Source.ExifDateTimeOriginal;
  ExifDateTimeDigitized = Source.ExifDateTimeDigitized;
  FExifCompressedBitsPerPixel = Source.FExifCompressedBitsPerPixel;
  FExifShutterSpeedValue = Source.FExifShutterSpeedValue;
  FExifApertureValue = Source.FExifApertureValue;
  FExifBrightnessValue = Source.FExifBrightnessValue;
  FExifExposureBiasValue = Source.FExifExposureBiasValue;
  FExifMaxApertureValue = Source.FExifMaxApertureValue;
  FExifSubjectDistance = Source.FExifSubjectDistance;
  FExifMeteringMode = Source.FExifMeteringMode;
  FExifLightSource = Source.FExifLightSource;
  FExifFlash = Source.FExifFlash;
  FExifFocalLength = Source.FExifFocalLength;
  ExifSubsecTime = Source.ExifSubsecTime;
  ExifSubsecTimeOriginal = Source.ExifSubsecTimeOriginal;
  ExifSubsecTimeDigitized = Source.ExifSubsecTimeDigitized;
  ExifFlashPixVersion = Source.ExifFlashPixVersion;
  FExifColorSpace = Source.FExifColorSpace;
  FExifPixelXDimension = Source.FExifPixelXDimension;
  FExifPixelYDimension = Source.FExifPixelYDimension;
  ExifRelatedSoundFile = Source.ExifRelatedSoundFile;
  FExifFocalPlaneXResolution = Source.FExifFocalPlaneXResolution;
  FExifFocalPlaneYResolution = Source.FExifFocalPlaneYResolution;
  FExifFocalPlaneResolutionUnit = Source.FExifFocalPlaneResolutionUnit;
  FExifExposureIndex = Source.FExifExposureIndex;
  FExifSensingMethod = Source.FExifSensingMethod;
  FExifFileSource = Source.FExifFileSource;
  FExifSceneType = Source.FExifSceneType;
  ExifUserComment = Source.ExifUserComment;
  ExifUserCommentCode = Source.ExifUserCommentCode;
  ExifRating = Source.ExifRating;
  ExifXpTitle = Source.ExifXpTitle;
  ExifXpComment = Source.ExifXpComment;
  ExifXpAuthor = Source.ExifXpAuthor;
  ExifXpKeywords = Source.ExifXpKeywords;
  ExifXpSubject = Source.ExifXpSubject;
  ExifExposureMode = Source.ExifExposureMode;
  ExifWhiteBalance = Source.ExifWhiteBalance;
  ExifDigitalZoomRatio = Source.ExifDigitalZoomRatio;
  ExifFocalLengthIn35mmFilm = Source.ExifFocalLengthIn35mmFilm;
  ExifSceneCaptureType = Source.ExifSceneCaptureType;
  ExifGainControl = Source.ExifGainControl;
  ExifContrast = Source.ExifContrast;
  ExifSaturation = Source.ExifSaturation;
  ExifSharpness = Source.ExifSharpness;
  ExifSubjectDistanceRange = Source.ExifSubjectDistanceRange;
  ExifImageUniqueId = Source.ExifImageUniqueId;
  ExifMakerNote.Assign(&Source.ExifMakerNote);

  GpsVersionId = Source.GpsVersionId;
  GpsLatitudeRef = Source.GpsLatitudeRef;
  GpsLatitude = Source.GpsLatitude;
  GpsLongitudeRef = Source.GpsLongitudeRef;
  GpsLongitude = Source.GpsLongitude;
  GpsAltitudeRef = Source.GpsAltitudeRef;
  GpsAltitude = Source.GpsAltitude;
  GpsTimeStamp = Source.GpsTimeStamp;
  GpsSatellites = Source.GpsSatellites;
  GpsStatus = Source.GpsStatus;
  GpsMeasureMode = Source.GpsMeasureMode;
  GpsDop = Source.GpsDop;
  GpsSpeedRef = Source.GpsSpeedRef;
  GpsSpeed = Source.GpsSpeed;
  GpsTrackRef = Source.GpsTrackRef;
  GpsTrack = Source.GpsTrack;
  GpsImgDirectionRef = Source.GpsImgDirectionRef;
  GpsImgDirection = Source.GpsImgDirection;
  GpsMapDatum = Source.GpsMapDatum;
  GpsDestLatitudeRef = Source.GpsDestLatitudeRef;
  GpsDestLatitude = Source.GpsDestLatitude;
  GpsDestLongitudeRef = Source.GpsDestLongitudeRef;
  GpsDestLongitude = Source.GpsDestLongitude;
  GpsDestBearingRef = Source.GpsDestBearingRef;
  GpsDestBearing = Source.GpsDestBearing;
  GpsDestDistanceRef = Source.GpsDestDistanceRef;
  GpsDestDistance = Source.GpsDestDistance;
  GpsDateStamp = Source.GpsDateStamp;

  PsPaperWidth = Source.PsPaperWidth;
  PsPaperHeight = Source.PsPaperHeight;
  PsCompression = Source.PsCompression;
  PsTitle = Source.PsTitle;
  PdfPaperWidth = Source.PdfPaperWidth;
  PdfPaperHeight = Source.PdfPaperHeight;
  PdfCompression = Source.PdfCompression;
  PdfTitle = Source.PdfTitle;
  PdfAuthor = Source.PdfAuthor;
  PdfSubject = Source.PdfSubject;
  PdfKeywords = Source.PdfKeywords;
  PdfCreator = Source.PdfCreator;
  PdfProducer = Source.PdfProducer;
  if (Source.FImagingAnnot) {
    GetImagingAnnot()->Assign(Source.FImagingAnnot.get());
  } else {
    FImagingAnnot.reset();
  }
  AssignProfile(FInputIcc, Source.FInputIcc);
  AssignProfile(FDefaultIcc, Source.FDefaultIcc);
  AssignProfile(FTargetIcc, Source.FTargetIcc);

  RawHalfSize = Source.RawHalfSize;
  RawGamma = Source.RawGamma;
  RawBrightness = Source.RawBrightness;
  RawRedScale = Source.RawRedScale;
  RawBlueScale = Source.RawBlueScale;
  RawOptions = Source.RawOptions;
  RawLoadThumbnail = Source.RawLoadThumbnail;
  RawUseEmbedded = Source.RawUseEmbedded;
  RawCamera = Source.RawCamera;

  RawPixelsBgr = Source.RawPixelsBgr;
  RawPixelsPlanar = Source.RawPixelsPlanar;
  RawPixelsRowAlign = Source.RawPixelsRowAlign;
  RawPixelsHeaderSize = Source.RawPixelsHeaderSize;
  RawPixelsDataFormat = Source.RawPixelsDataFormat;

  PsdLoadLayers = Source.PsdLoadLayers;
  PsdReplaceLayers = Source.PsdReplaceLayers;
  HdpQuality = Source.HdpQuality;
  HdpLossless = Source.HdpLossless;

  // The index fields go through the setter in this order, so all six end as the source's cursor
  // index.
  SetImageIndex(Source.TiffImageIndex);
  SetImageIndex(static_cast<int32_t>(Source.GifImageIndex));
  SetImageIndex(Source.DcxImageIndex);
  SetImageIndex(Source.IcoImageIndex);
  SetImageIndex(Source.CurImageIndex);
}

}  // namespace zv
