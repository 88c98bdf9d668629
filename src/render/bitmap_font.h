// A 5 x 7 bitmap font of the printable ASCII characters, and text drawn with
// it into an RGB picture.
//
// Invariants: kFontGlyphs holds one glyph for each character from ' ' (32)
// to '~' (126), five columns of seven bits each (bit 0 the top row); other
// characters draw as '?'. Each glyph cell is kGlyphAdvance columns wide
// (one blank column after the glyph) and kGlyphHeight rows high, times the
// drawing scale. Drawing clips to the picture; nothing is allocated.
#ifndef NIMBREL_RENDER_BITMAP_FONT_H_
#define NIMBREL_RENDER_BITMAP_FONT_H_

#include <cstdint>

namespace nimbrel {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

extern const uint8_t kFontGlyphs[95][kGlyphWidth];

// An RGB picture, 3 bytes a pixel, row after row from the top.
struct RgbView {
  uint8_t* pixels;
  int width;
  int height;
};

// Draws `text` with its top-left corner at (x, y), each font pixel a
// `scale` x `scale` square of colour `rgb`. Returns the x after the text.
int DrawText(RgbView picture, int x, int y, const char* text, int scale, const uint8_t rgb[3]);

// The width in pixels of `text` drawn at `scale`.
int TextWidth(const char* text, int scale);

}  // namespace nimbrel

#endif  // NIMBREL_RENDER_BITMAP_FONT_H_
