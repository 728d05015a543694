// The track bar's built-in artwork, drawn by our own code: the thumb bitmaps of every style and
// orientation (normal, hot, disabled and mask) and the two drag cursors, registered under the
// resource names the track bar loads them by.
#pragma once

namespace zv {

// Registers the thumb bitmaps ("RZTRKBAR_H_BOX" ... with "_HOT", "_DISABLED" and "_MASK") and the
// cursors "RZTRKBAR_H_CURSOR" and "RZTRKBAR_V_CURSOR". A start-up step; later calls do nothing.
void RzArtworkStartup();

}  // namespace zv
