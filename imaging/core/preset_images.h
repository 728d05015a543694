// The four preset pictures the library keeps ready after start-up: PNG files in the program's data, each
// with the rectangle of its content area.
#pragma once

#include <cstdint>

#include "platform/lists.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TIEPresetImage : public TObject {
public:
  int32_t DataSize = 0;
  const uint8_t* Data = nullptr;  // the PNG file's bytes, in the program's data (not owned)
  int32_t FileType = 8;           // PNG
  TRect Rect;                     // the content area inside the picture
};

// The list of the four TIEPresetImage, between BuildPresetImages and FreePresetImages; null otherwise.
extern TList* PresetImages;

// Makes the list (the last step of the library's start-up); a list already there is kept.
void BuildPresetImages();
// Frees the entries and the list (the first step of its shut-down).
void FreePresetImages();

}  // namespace zv
