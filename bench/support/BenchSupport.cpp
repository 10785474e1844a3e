#include "BenchSupport.h"

#include <SDL.h>

#include <cstdlib>

TBenchGLContext::TBenchGLContext(int Width, int Height) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  Window = SDL_CreateWindow("bench", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (Window) Context = SDL_GL_CreateContext(Window);
  if (Context && SDL_GL_MakeCurrent(Window, Context) != 0) {
    SDL_GL_DeleteContext(Context);
    Context = nullptr;
  }
}

TBenchGLContext::~TBenchGLContext() {
  if (Context) SDL_GL_DeleteContext(Context);
  if (Window) SDL_DestroyWindow(Window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
