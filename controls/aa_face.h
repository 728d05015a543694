// Smooth text on any canvas without the desktop's font smoothing: the text is drawn large into a grey
// work bitmap, reduced to a coverage mask, and a colour or a picture is blended through the mask; the
// effect renderer adds shadow, gradient, texture, noise, blur, spray, outline, mirrors and rotation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/sysutils.h"
#include "platform/types.h"

namespace zv {

class TCustomIniFile;
class TAAFace;

// How finely a text is supersampled: 4, 3, 2 or 1 work pixels per mask pixel in each direction.
enum TAAQuality : uint8_t { aqHigh, aqNormal, aqLow, aqNone };
template <>
struct TEnumNames<TAAQuality> {
  static constexpr std::string_view Names[] = {"aqHigh", "aqNormal", "aqLow", "aqNone"};
};

// A mask row outside the mask was asked for.
class EInvalidLine : public Exception {
public:
  using Exception::Exception;
};
// A foreground picture that does not match the mask in size or pixel format.
class EInvalidForeBmp : public Exception {
public:
  using Exception::Exception;
};

// The grey logical palette (index i is grey level i) that every work bitmap takes a copy of.
// AAFaceStartup makes it (a first use makes it as well); AAFaceShutdown deletes it.
HPALETTE GreyPalette();
void AAFaceStartup();
void AAFaceShutdown();

// An 8-bit coverage mask of a text, rows stored bottom-up like a device-independent bitmap.
class TAAMask : public TPersistent {
public:
  explicit TAAMask(TAAFace* AOwner);
  ~TAAMask() override;
  TAAMask(const TAAMask&) = delete;
  TAAMask& operator=(const TAAMask&) = delete;

  TAAQuality Quality() const { return FQuality; }
  void SetQuality(TAAQuality Value);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t Stride() const { return FStride; }
  int32_t Factor() const { return FFactor; }
  int32_t WorkRowLength() const { return FWorkRowLength; }
  TAAFace* Owner() const { return FOwner; }
  // The whole block of Stride x Height bytes (empty before the first render).
  std::vector<uint8_t>& Data() { return FData; }

  // Row Row from the top; raises EInvalidLine ("Invalid line!") outside 0 .. Height - 1.
  uint8_t* ScanLine(int32_t Row);
  // The same address rule in another buffer of this mask's layout, unchecked.
  uint8_t* ScanLineOf(int32_t Row, uint8_t* Buffer) const;

  // The text's size at scale 1 in the owner canvas's font; for a rotated font the size of the turned
  // box, with Offset receiving where the text's origin lies in it.
  TSize MeasureText(std::string_view Text, TPoint& Offset);
  TSize TextExtent(std::string_view Text);
  // Draws the text supersampled and reduces it into a Size mask; Origin in mask pixels.
  void RenderText(std::string_view Text, TSize Size, TPoint Origin);
  void DrawText(std::string_view Text);

  // Mask effects (coverage 0..255).
  void Outline();
  void Blur(uint8_t Strength);
  void Spray(uint8_t Amount);
  void HorzMirror();
  void VertMirror();

  void Assign(TPersistent* Source) override;

private:
  TAAFace* FOwner;
  TAAQuality FQuality = aqNormal;
  std::vector<uint8_t> FData;
  int32_t FHeight = 0;
  int32_t FWidth = 0;
  int32_t FWorkRowLength = 0;
  int32_t FStride = 0;
  int32_t FFactor = 3;
  std::unique_ptr<TBitmap> FWorkBmp;
};

// Lays a colour or the foreground picture through a mask onto the owner's canvas.
class TAABlend : public TPersistent {
public:
  explicit TAABlend(TAAFace* AOwner);
  ~TAABlend() override;
  TAABlend(const TAABlend&) = delete;
  TAABlend& operator=(const TAABlend&) = delete;

  // The 24-bit picture laid into the text by BlendForeground.
  TBitmap* ForeBmp() const { return FForeBmp.get(); }
  // The piece of the target being blended; keeps its last content.
  TBitmap* WorkBmp() const { return FWorkBmp.get(); }

  // Alpha 0..100. Pixels whose weight is below 1/256 keep the target.
  void BlendColor(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha, TColor Color);
  // Raises EInvalidForeBmp ("Invalid foreground bitmap!") unless ForeBmp is 24-bit and of the
  // mask's size.
  void BlendForeground(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha);

  // Copies the foreground picture of another blend.
  void Assign(TPersistent* Source) override;

private:
  void Blend(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha, TColor Color, bool Foreground);

  std::unique_ptr<TBitmap> FForeBmp;
  std::unique_ptr<TBitmap> FWorkBmp;
  TAAFace* FOwner;
};

// The renderer on a canvas: its mask and blend, and text measuring.
class TAAFace : public TObject {
public:
  explicit TAAFace(TCanvas* ACanvas);
  ~TAAFace() override;
  TAAFace(const TAAFace&) = delete;
  TAAFace& operator=(const TAAFace&) = delete;

  // The target; not owned, and may be pointed elsewhere between drawings.
  TCanvas* Canvas() const { return FCanvas; }
  void SetCanvas(TCanvas* Value) { FCanvas = Value; }
  TAAMask* Mask() const { return FMask.get(); }
  TAABlend* Blend() const { return FBlend.get(); }
  TAAQuality Quality() const { return FMask->Quality(); }
  void SetQuality(TAAQuality Value) { FMask->SetQuality(Value); }

  virtual TSize TextExtent(std::string_view Text);
  int32_t TextHeight(std::string_view Text) { return TextExtent(Text).cy; }
  int32_t TextWidth(std::string_view Text) { return TextExtent(Text).cx; }

private:
  TCanvas* FCanvas;
  std::unique_ptr<TAAMask> FMask;
  std::unique_ptr<TAABlend> FBlend;
};

// Stretches Graphic into Rect; an icon is first laid on a bitmap of BackColor.
void DrawStretchedGraphic(TCanvas* Canvas, const TRect& Rect, TGraphic* Graphic, TColor BackColor);

// ---------------------------------------------------------------------------------------------
// Effect settings
// ---------------------------------------------------------------------------------------------

enum TGradualStyle : uint8_t { gsLeftToRight, gsRightToLeft, gsTopToBottom, gsBottomToTop, gsCenterToLR, gsCenterToTB };
template <>
struct TEnumNames<TGradualStyle> {
  static constexpr std::string_view Names[] = {"gsLeftToRight", "gsRightToLeft", "gsTopToBottom",
                                               "gsBottomToTop", "gsCenterToLR",  "gsCenterToTB"};
};

enum TTextureMode : uint8_t { tmTiled, tmStretched, tmCenter, tmNormal };
template <>
struct TEnumNames<TTextureMode> {
  static constexpr std::string_view Names[] = {"tmTiled", "tmStretched", "tmCenter", "tmNormal"};
};

// A settings object that tells its owner about every change through OnChanged.
class TNotifyClass : public TPersistent {
public:
  explicit TNotifyClass(TNotifyEvent ChangedProc = nullptr) : OnChanged(std::move(ChangedProc)) {}
  TNotifyClass(const TNotifyClass&) = delete;
  TNotifyClass& operator=(const TNotifyClass&) = delete;

  void Assign(TPersistent* Source) override;
  virtual void Changed();
  // The handler given to owned settings objects.
  void ChildChanged(TObject* Sender);
  TPersistent* GetOwner() override { return FOwner; }

  TNotifyEvent OnChanged;

protected:
  TPersistent* FOwner = nullptr;
};

// Settings that only notify while switched on; switching itself always notifies.
class TEnabledClass : public TNotifyClass {
public:
  using TNotifyClass::TNotifyClass;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  void Changed() override;
  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

protected:
  bool FEnabled = false;
};

class TAAShadow : public TEnabledClass {
public:
  using TEnabledClass::TEnabledClass;
  uint8_t Blur() const { return FBlur; }
  void SetBlur(uint8_t Value);
  uint8_t Alpha() const { return FAlpha; }
  void SetAlpha(uint8_t Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int8_t OffsetX() const { return FOffsetX; }
  void SetOffsetX(int8_t Value);
  int8_t OffsetY() const { return FOffsetY; }
  void SetOffsetY(int8_t Value);
  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  friend class TAAEffect;
  uint8_t FBlur = 80;
  uint8_t FAlpha = 70;
  TColor FColor = TColor(0x444444);
  int8_t FOffsetX = 2;
  int8_t FOffsetY = 2;
};

class TAAGradual : public TEnabledClass {
public:
  using TEnabledClass::TEnabledClass;
  TGradualStyle Style() const { return FStyle; }
  void SetStyle(TGradualStyle Value);
  TColor StartColor() const { return FStartColor; }
  void SetStartColor(TColor Value);
  TColor EndColor() const { return FEndColor; }
  void SetEndColor(TColor Value);
  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  friend class TAAEffect;
  TGradualStyle FStyle = gsLeftToRight;
  TColor FStartColor = TColor(0xFFFFFF);
  TColor FEndColor = TColor(0);
};

class TAATexture : public TEnabledClass {
public:
  explicit TAATexture(TNotifyEvent ChangedProc = nullptr);
  ~TAATexture() override;
  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(TPicture* Value) { FPicture->Assign(Value); }
  TTextureMode Mode() const { return FMode; }
  void SetMode(TTextureMode Value);
  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  friend class TAAEffect;
  std::unique_ptr<TPicture> FPicture;
  TTextureMode FMode = tmTiled;
};

// Every effect of the renderer; changes in the three sub-objects reach OnChanged too.
class TAAEffect : public TNotifyClass {
public:
  explicit TAAEffect(TNotifyEvent ChangedProc = nullptr);
  ~TAAEffect() override;

  uint8_t Alpha() const { return FAlpha; }
  void SetAlpha(uint8_t Value);
  uint8_t Blur() const { return FBlur; }
  void SetBlur(uint8_t Value);
  TAAGradual* Gradual() const { return FGradual.get(); }
  void SetGradual(TAAGradual* Value);
  TAAShadow* Shadow() const { return FShadow.get(); }
  void SetShadow(TAAShadow* Value);
  TAATexture* Texture() const { return FTexture.get(); }
  void SetTexture(TAATexture* Value);
  bool Outline() const { return FOutline; }
  void SetOutline(bool Value);
  uint8_t Noise() const { return FNoise; }
  void SetNoise(uint8_t Value);
  uint8_t Spray() const { return FSpray; }
  void SetSpray(uint8_t Value);
  // Degrees, counter-clockwise.
  int16_t Angle() const { return FAngle; }
  void SetAngle(int16_t Value);
  bool HorzMirror() const { return FHorzMirror; }
  void SetHorzMirror(bool Value);
  bool VertMirror() const { return FVertMirror; }
  void SetVertMirror(bool Value);

  // Twenty keys of one section; loading takes the current values as defaults and does not notify.
  virtual void LoadFromIni(TCustomIniFile* Ini, const std::string& Section);
  virtual void SaveToIni(TCustomIniFile* Ini, const std::string& Section);

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  uint8_t FAlpha = 100;
  uint8_t FBlur = 0;
  std::unique_ptr<TAAGradual> FGradual;
  std::unique_ptr<TAAShadow> FShadow;
  std::unique_ptr<TAATexture> FTexture;
  bool FOutline = false;
  uint8_t FNoise = 0;
  uint8_t FSpray = 0;
  int16_t FAngle = 0;
  bool FHorzMirror = false;
  bool FVertMirror = false;
};

// The renderer with effects.
class TAAFaceEx : public TAAFace {
public:
  explicit TAAFaceEx(TCanvas* ACanvas);
  ~TAAFaceEx() override;

  TAAEffect* Effect() const { return FEffect.get(); }

  // Rotation and the shadow's offsets included.
  TSize TextExtent(std::string_view Text) override;
  // The text with every effect, the top-left corner of its box at (X, Y).
  void TextOut(int32_t X, int32_t Y, std::string_view Text);

  // Foreground pictures at the mask's size.
  void CreateGradual();
  void CreateNoiseFore();
  void CreateTexture();
  void AddNoise(uint8_t Amount);

  // Graphic repeated over Rect from its top-left corner; nothing for a missing or empty graphic.
  static void TileDraw(TCanvas* Canvas, const TRect& Rect, TGraphic* Graphic);

private:
  std::unique_ptr<TAAEffect> FEffect;
};

}  // namespace zv
