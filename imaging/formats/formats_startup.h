// The file-format library's part in the image library's start-up: it hands its codecs and content
// tests to the I/O library (which cannot link it) and puts the start-up steps of its formats at their
// places in the library's list.
#pragma once

namespace zv {

// Gives every format of this library its routines in the format registry and its content test in
// format detection, and hands the TIFF LZW coders to the I/O unit's start-up.
void InstallFormatCodecs();
// Takes them back: the registry's placeholders and the I/O library's own header checks return.
void RemoveFormatCodecs();

// The step at the JPEG 2000 place, the first place of a format in the list and so before the I/O
// unit builds the registry: the JPEG 2000 tables, then InstallFormatCodecs. The partner undoes both.
void FormatsStartup();
void FormatsShutdown();

// Puts the format steps into the image library's start-up list (FormatsStartup, and the CCITT tables at
// their own place). The executable (or a test fixture) calls it before LibraryStartup.
void RegisterImagingFormatsSteps();

}  // namespace zv
