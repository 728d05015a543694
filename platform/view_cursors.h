// The image view's cursor resources, drawn by our code: magnifiers, cross-hairs, a hand, a pen, an
// eraser, move and resize arrows and the four rotation arrows, each a 32 x 32 picture with its hot spot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// A cursor picture: B,G,R,A pixels in rows from the top, straight alpha, and the hot spot.
struct TCursorImage {
  int Width = 0;
  int Height = 0;
  int HotX = 0;
  int HotY = 0;
  std::vector<uint32_t> Pixels;
  bool Empty() const { return Pixels.empty(); }
};

// The picture of the view cursor with that resource name ("ZOOMPIU", "MANO", "ROT3", "1797" ...);
// an empty picture for any other name.
TCursorImage DrawViewCursorImage(const std::string& Name);

}  // namespace zv
