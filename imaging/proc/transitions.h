// TIETransitionEffects: animates a view's change from a source picture to a target picture, one frame per
// timer tick, with the thirty built-in effects, pan/zoom over a large image, or an effect of the table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics.h"
#include "platform/std_controls.h"
#include "platform/types.h"

namespace zv {

class TIEBitmap;
class TIEView;
class TIETransitionEffects;

using TIETransitionStepEvent = std::function<void(TObject* Sender, int32_t Step)>;
using TIEOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TIETransitionEffects* Transition, int32_t Step)>;

// Progress curves of a transition (the timing byte).
constexpr uint8_t IETimingLinear = 0;
constexpr uint8_t IETimingExponential = 1;
constexpr uint8_t IETimingLogarithmic = 2;

// Transition types: 1..30 are the built-in effects, IEPanZoomTransition the pan/zoom over a large image,
// every other non-zero type row (type - 1) of the effect table.
constexpr uint8_t IEFirstBuiltInTransition = 1;
constexpr uint8_t IELastBuiltInTransition = 30;
constexpr uint8_t IEPanZoomTransition = 213;

// One procedure of the effect table: (canvas, source, target, drawing rectangle, size parameter,
// progress in whole percent).
using TIETransitionProc =
    void (*)(TCanvas* Canvas, TBitmap* Source, TBitmap* Target, const TRect& Rect, int32_t Size, int32_t Percent);

// What the engine needs of the image view, which is built above it: the view installs these when it
// creates its engine. An empty one does nothing.
struct TIETransitionViewLinks {
  std::function<void()> UnlockPaintNoUpdate;
  std::function<void()> LockPaint;
  std::function<void(TCanvas* Canvas)> DrawBackgroundTo;
};

class TIETransitionEffects : public TObject {
public:
  TIETransitionEffects(TIEView* View, TIETransitionViewLinks Links = {});
  ~TIETransitionEffects() override;

  TIETransitionEffects(const TIETransitionEffects&) = delete;
  TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

  void SetOnPaint(TIEOnTransitionPaint Handler) { FOnTransitionPaint = std::move(Handler); }

  // Begins a transition from Source to Target (both copied; the smaller of their sizes is animated):
  // takes one paint lock of the view, reads the start time and enables the timer. A type of 0, a
  // duration below 1 or pictures without area start nothing and answer false.
  bool Start(TBitmap* Source, TBitmap* Target, uint8_t TransitionType, int32_t Duration, uint8_t Timing = 0,
             bool UpdateAtEnd = false);
  // The image pan/zoom cuts its rectangles from (not owned) and the rectangles shown at progress 0 and 1024.
  void SetPanZoom(TIEBitmap* Source, const TRect& StartRect, const TRect& EndRect);

  // Ends a running transition: timer off, pictures back to 1 x 1 and their row arrays freed, one paint
  // lock released, Update when asked for, then OnTransitionStop.
  void Stop();
  // The timer's handler: draws the frame of the current step, shows it and works out the next step.
  void Step(TObject* Sender = nullptr);
  // One step of an effect of the table into the frame picture.
  void DrawExtraEffect(uint8_t TransitionType, int32_t AStep);
  // The built-in effect of type 1..30 at step s.
  void DrawBuiltIn(uint8_t TransitionType, int32_t s);
  void DrawPanZoom(int32_t s);

  bool Running() const { return FRunning; }
  int32_t CurrentStep() const { return FStep; }
  uint8_t TransitionType() const { return FTransitionType; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  TBitmap* SourcePicture() const { return FSource.get(); }
  TBitmap* TargetPicture() const { return FTarget.get(); }
  TBitmap* FramePicture() const { return FFrame.get(); }
  TTimer* Timer() const { return FTimer; }
  // True while the three row arrays are held (a transition is set up).
  bool HasRowArrays() const { return !FSourceRows.empty(); }
  int32_t PointsDrawn() const { return FPointsDrawn; }

  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;
  const TIEOnTransitionPaint& OnTransitionPaint() const { return FOnTransitionPaint; }

  // The millisecond clock the engine reads (GetTickCount unless replaced, as tests do).
  std::function<uint32_t()> TickSource;
  // The effect table's procedures by row (the table's own unless replaced); a row without one draws nothing.
  std::vector<TIETransitionProc> EffectProcs;

private:
  void SetUpRows();
  void FreeRows();
  bool PicturesMatch() const;
  void CopyToView(TBitmap* Picture);
  void Blend(const uint8_t* A, const uint8_t* B, int32_t s, bool ABackground, bool BBackground);
  void CopyRectFrom(TBitmap* Picture, int32_t X, int32_t Y, int32_t W, int32_t H);
  void DrawPictureAt(TBitmap* Picture, int32_t X, int32_t Y);
  void RedLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void MoveColumns(int32_t Split, TBitmap* Left, int32_t LeftFrom, TBitmap* Right, int32_t RightFrom);
  void MoveRows(int32_t Split, TBitmap* Top, int32_t TopFrom, TBitmap* Bottom, int32_t BottomFrom);
  void RandomPoints(int32_t s);
  void RandomBoxes(int32_t s);

  std::unique_ptr<TBitmap> FSource;
  std::unique_ptr<TBitmap> FTarget;
  std::unique_ptr<TBitmap> FFrame;
  TIEBitmap* FPanZoomSource = nullptr;
  std::vector<uint8_t*> FSourceRows;
  std::vector<uint8_t*> FTargetRows;
  std::vector<uint8_t*> FFrameRows;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  bool FRunning = false;
  TIEView* FView = nullptr;
  TTimer* FTimer = nullptr;
  int32_t FStep = 0;
  int32_t FPointsDrawn = 0;
  uint8_t FTransitionType = 0;
  int32_t FDuration = 1000;
  uint32_t FStartTime = 0;
  bool FUpdateAtEnd = false;
  TRect FPanZoomStart;
  TRect FPanZoomEnd;
  uint8_t FTiming = IETimingLinear;
  TIEOnTransitionPaint FOnTransitionPaint;
  TIETransitionViewLinks FLinks;
};

// The next step for Elapsed ms of Duration under a timing curve, kept within 0..1024; an unknown timing
// gives Current.
int32_t TransitionStepFor(uint32_t Elapsed, int32_t Duration, uint8_t Timing, int32_t Current);

// The largest rectangle of the part's proportions that fits the frame, centred.
void FitPanZoomRect(int32_t PartWidth, int32_t PartHeight, int32_t FrameWidth, int32_t FrameHeight, int32_t& Width,
                    int32_t& Height, int32_t& X, int32_t& Y);

}  // namespace zv
