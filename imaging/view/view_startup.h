// Start-up and shut-down of the view unit: the unit's screen and system settings, the view's cursors,
// and the links through which the I/O and processing components recognise a view and reach its
// selection and layers.
#pragma once

namespace zv {

// Reads the screen and system settings into ImagingViewGlobals and creates the unit's XOR pen.
void InitViewGlobals();

// The unit's start-up step: InitViewGlobals, the cursor resources the executable lacks, and the links
// of the I/O and processing components.
void ImagingViewStaticInit();
// The unit's shut-down step: frees the XOR pen and empties the links.
void ImagingViewStaticDone();
// Puts the two steps into the image library's start-up list, at the view unit's place. The executable
// (or a test fixture) calls it before LibraryStartup.
void RegisterImagingViewStep();

}  // namespace zv
