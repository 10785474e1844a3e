// Overlay: the frame-rate display that -fps asks for, in the lower left corner as screen savers
// on this desktop show it: a meter that turns frame times into frames per second, and the text
// drawn with a small built-in bitmap font (no font library). Depends on GL and ExtOpenGL
// (drawing only, in the source).
#pragma once

#include <string>

// Counts frames and, once a second has passed, their rate over that second.
class TFrameRateMeter {
public:
  // One frame has been drawn; Now is the time in seconds on any steady clock.
  void Frame(double Now);
  // Empty until the first second has passed.
  std::string Text() const;

private:
  double FStart = 0;
  int FFrames = -1;  // -1: no frame yet
  double FRate = -1;
};

// Draws Text (digits, '.', ':', ' ', 'F', 'P', 'S') in the lower left corner of a viewport of
// Width x Height pixels, light on a dark box, over whatever is there. Leaves every GL state as it
// found it (matrices, enables, texture units, colour). Needs a current context.
void DrawOverlayText(const std::string& Text, int Width, int Height);
