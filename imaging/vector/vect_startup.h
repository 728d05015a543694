// Start-up and shut-down of the vector layer's unit: the object stream's content test in format
// detection and the I/O component's loads of object files into a vector view.
#pragma once

namespace zv {

void VectorLayerStartup();
void VectorLayerShutdown();
// The vector layer's own start-up values: the "IMAGING VECT" clipboard format, the editor's Ctrl
// shortcuts; its shut-down empties the extension registry; and the text editor's "IMAGING TEXTMEMO" format.
void IeVectStaticInit();
void IeVectStaticDone();
void IeTextCStaticInit();
void IeTextCStaticDone();
// Puts the steps into the image library's start-up list at the vector layer's and the text editor's places. The
// executable (or a test fixture) calls it before LibraryStartup.
void RegisterImagingVectorStep();

}  // namespace zv
