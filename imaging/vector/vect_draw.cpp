// The painter of the vector layer: one object onto a class-library bitmap, by kind.
#include "imaging/vector/imaging_vect.h"

namespace zv {

bool TImagingVect::DrawObject(TIEVObjectData& Rec, int32_t Hobj, TBitmap* Dest, bool Clip, bool ToClient,
                              TIEBitmap* Work, int32_t Factor, bool DrawingAlpha) {
  (void)Rec, (void)Hobj, (void)Dest, (void)Clip, (void)ToClient, (void)Work, (void)Factor, (void)DrawingAlpha;
  return false;
}

int32_t TImagingVect::ObjPenWidth(const TIEVObjectData& Rec, double ZoomFX, double ZoomFY) const {
  (void)ZoomFX, (void)ZoomFY;
  return Rec.PenWidth;
}

void TImagingVect::DrawVertexHandles(TCanvas* Canvas) { (void)Canvas; }
void TImagingVect::SetZoomObjectsWidth(bool Value) { ZoomObjectsWidth = Value; }
void TImagingVect::SetBitmapResampleFilter(TResampleFilter Value) { BitmapResampleFilter = Value; }
void TImagingVect::SetObjAntialias(bool Value) { ObjAntialias = Value; }
void TImagingVect::SetObjGripImage(TPicture* Value) { (void)Value; }
void TImagingVect::SetObjSupersample(uint8_t Value) { ObjSupersample = Value; }
void TImagingVect::FastPassTimer(TObject* Sender) { (void)Sender; }
void TImagingVect::Paint() { TImagingView::Paint(); }
double TImagingVect::SelectionArea() { return 0; }
void TImagingVect::PolylineRebase(TIEVObjectData& Rec) { (void)Rec; }

}  // namespace zv
