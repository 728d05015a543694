// The image annotations ("marks") of a TIFF page, carried from load to save: parsed from the page's
// annotation data into a list of marks and turned back into that data. They are kept and copied, not
// drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/objects.h"

namespace zv {

constexpr int32_t AnnotAttributesSize = 164;

// Mark types that carry data of their own.
constexpr int32_t AnnotImageMark = 1;          // an embedded image
constexpr int32_t AnnotImageReferenceMark = 2;
constexpr int32_t AnnotFirstLineMark = 3;      // 3 and 4: lines, with points
constexpr int32_t AnnotLastLineMark = 4;
constexpr int32_t AnnotFirstTextMark = 7;      // 7 to 10: texts
constexpr int32_t AnnotLastTextMark = 10;
constexpr int32_t AnnotFormMark = 12;

struct TIEAnnotPoint {
  int32_t X;
  int32_t Y;
};

// One mark: its attribute block exactly as in the file, and the points, text or image its type carries.
class TIEImagingObject : public TObject {
public:
  TIEImagingObject() = default;
  ~TIEImagingObject() override = default;
  TIEImagingObject(const TIEImagingObject&) = delete;
  TIEImagingObject& operator=(const TIEImagingObject&) = delete;

  // Bytes 0-3 of the attributes (little-endian).
  int32_t MarkType() const;
  void SetMarkType(int32_t Value);
  // Bytes 48-51: the font height of a text mark.
  int32_t FontHeight() const;
  void SetFontHeight(int32_t Value);
  int32_t PointCount() const { return int32_t(Points.size()); }

  uint8_t Attributes[AnnotAttributesSize] = {};
  std::vector<TIEAnnotPoint> Points;
  std::optional<std::string> Text;
  std::unique_ptr<TIEBitmap> Image;
};

class TIEImagingAnnot : public TObject {
public:
  TIEImagingAnnot() = default;
  ~TIEImagingAnnot() override = default;
  TIEImagingAnnot(const TIEImagingAnnot&) = delete;
  TIEImagingAnnot& operator=(const TIEImagingAnnot&) = delete;

  void Clear() { Marks.clear(); }
  // Deep copies of Source's marks; Modified stays as it is.
  void Assign(const TIEImagingAnnot* Source);
  // Appends the marks of the annotation data. Every block, point list and text is checked against the
  // data: one that does not fit, a negative size or a text without its zero ends the parse there,
  // keeping the marks before the one it belongs to. Clears Modified.
  void LoadFromBuffer(const void* Data, int32_t Length);
  // The annotation data of all marks in a new block (free it with std::free); nullptr and 0 without
  // marks. Embedded images need the processing library's DIB export.
  void SaveToBuffer(void*& Data, int32_t& Length) const;

  TObject* Owner = nullptr;  // the parameters record that made it
  bool Modified = false;
  std::vector<std::unique_ptr<TIEImagingObject>> Marks;
};

}  // namespace zv
