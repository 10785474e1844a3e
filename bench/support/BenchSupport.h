// Shared by the benchmarks: a current OpenGL context on SDL's offscreen driver (a hidden window),
// so drawing and uploads are measured against the same Mesa the program uses.
#pragma once

struct SDL_Window;

class TBenchGLContext {
public:
  explicit TBenchGLContext(int Width = 128, int Height = 128);
  ~TBenchGLContext();
  TBenchGLContext(const TBenchGLContext&) = delete;
  TBenchGLContext& operator=(const TBenchGLContext&) = delete;

  bool Ok() const { return Context != nullptr; }

private:
  SDL_Window* Window = nullptr;
  void* Context = nullptr;
};
