// Start-up and shut-down of the vector layer's unit: the object stream's content test in format
// detection and the I/O component's loads of object files into a vector view.
#pragma once

namespace zv {

void VectorLayerStartup();
void VectorLayerShutdown();
// Puts the two steps into the image library's start-up list at the vector layer's place. The
// executable (or a test fixture) calls it before LibraryStartup.
void RegisterImagingVectorStep();

}  // namespace zv
