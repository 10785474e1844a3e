#include "Overlay.h"

#include "ExtOpenGL.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

void TFrameRateMeter::Frame(double Now) {
  if (FFrames < 0) {
    FStart = Now;
    FFrames = 0;
    return;
  }
  ++FFrames;
  const double Elapsed = Now - FStart;
  if (Elapsed < 1.0) return;
  FRate = FFrames / Elapsed;
  FStart = Now;
  FFrames = 0;
}

std::string TFrameRateMeter::Text() const {
  if (FRate < 0) return {};
  char Line[32];
  std::snprintf(Line, sizeof Line, "FPS: %.1f", FRate);
  return Line;
}

namespace {

constexpr int GlyphWidth = 5, GlyphHeight = 7;

// Rows from the top, the leftmost pixel in bit 4.
using TGlyph = std::array<std::uint8_t, GlyphHeight>;

const TGlyph* GlyphOf(char C) {
  static const TGlyph Digits[10] = {
      {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
      {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
      {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
      {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
      {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};
  static const TGlyph F = {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10};
  static const TGlyph P = {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10};
  static const TGlyph S = {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E};
  static const TGlyph Colon = {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
  static const TGlyph Point = {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C};
  if (C >= '0' && C <= '9') return &Digits[C - '0'];
  switch (C) {
    case 'F': return &F;
    case 'P': return &P;
    case 'S': return &S;
    case ':': return &Colon;
    case '.': return &Point;
    default: return nullptr;  // a blank
  }
}

// Pixel coordinates with the origin in the lower left corner, and nothing but the colour on: no
// depth test, fog, alpha test, lighting or texture. EndScreenPixels restores what was there.
void BeginScreenPixels(int Width, int Height) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, Width, 0, Height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_FOG);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_LIGHTING);
  // Texturing off on both units the models use; the attribute stack restores each unit's
  // enable and the active unit.
  for (const GLenum Unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
    ExtOpenGL::ActiveTexture(Unit);
    glDisable(GL_TEXTURE_2D);
  }
}

void EndScreenPixels() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

// The quads of Glyph's pixels, its lower left corner at (Left, Bottom), each font pixel Scale
// screen pixels square; inside glBegin(GL_QUADS).
void EmitGlyph(const TGlyph& Glyph, int Left, int Bottom, int Scale) {
  for (int Row = 0; Row < GlyphHeight; ++Row)
    for (int Column = 0; Column < GlyphWidth; ++Column) {
      if (!(Glyph[std::size_t(Row)] & (0x10 >> Column))) continue;
      const int X = Left + Column * Scale;
      const int Y = Bottom + (GlyphHeight - 1 - Row) * Scale;
      glVertex2i(X, Y);
      glVertex2i(X + Scale, Y);
      glVertex2i(X + Scale, Y + Scale);
      glVertex2i(X, Y + Scale);
    }
}

}  // namespace

void DrawOverlayText(const std::string& Text, int Width, int Height) {
  if (Text.empty() || Width <= 0 || Height <= 0) return;
  // One font pixel per screen pixel on a small preview, larger on big screens.
  const int Scale = std::max(1, Height / 360);
  const int Advance = (GlyphWidth + 1) * Scale;
  const int Margin = 4 * Scale;

  BeginScreenPixels(Width, Height);
  const int Left = Margin, Bottom = Margin;
  const int BoxRight = Left + int(Text.size()) * Advance + Scale;
  const int BoxTop = Bottom + (GlyphHeight + 2) * Scale;
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_QUADS);
  glVertex2i(Left - 2 * Scale, Bottom - 2 * Scale);
  glVertex2i(BoxRight, Bottom - 2 * Scale);
  glVertex2i(BoxRight, BoxTop);
  glVertex2i(Left - 2 * Scale, BoxTop);
  glColor3f(1.0f, 1.0f, 0.85f);
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (const TGlyph* Glyph = GlyphOf(Text[I]))
      EmitGlyph(*Glyph, Left + int(I) * Advance, Bottom, Scale);
  }
  glEnd();
  EndScreenPixels();
}
