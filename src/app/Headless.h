// Headless: the scene rendered off screen, with no one watching: a screenshot written as a PNG,
// or a benchmark that prints how fast the frames came. Depends on Window, OceanScene, the shell's
// settings, libpng and Platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"

// Renders Options.Frames frames of the scene into an offscreen surface (SDL's offscreen driver);
// a screenshot writes the last one to Options.File, a benchmark prints one line with the frame
// rate, the median and 95th-percentile frame time, the start-up time and the peak memory. A seeded
// run steps the animation clock by a fixed step per frame, so the same command draws the same
// frames on every run. Returns the exit code: 0, or 1 after a diagnostic line.
int RunHeadless(const TOptions& Options);

// Writes Width x Height RGBA pixels, bottom row first (as GL reads them), as an RGB PNG.
bool WritePng(const std::string& File, int Width, int Height, const std::vector<std::uint8_t>& Rgba,
              std::string& Error);
