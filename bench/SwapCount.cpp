// A preloaded library that counts a GL program's buffer swaps from outside it, so that two
// programs' frame rates can be compared the same way: every fifth swap it writes "swaps seconds"
// (swaps after the first, seconds since the first) over the file $VADREL_SWAPCOUNT_FILE. It
// wraps glXSwapBuffers and eglSwapBuffers, and SDL_GL_SwapWindow, since SDL reaches GLX through
// its own handle, past the preload. Used by bench.sh --peer; depends on libdl only.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

long Swaps = 0;
std::chrono::steady_clock::time_point First;

void Count() {
  const auto Now = std::chrono::steady_clock::now();
  if (Swaps++ == 0) First = Now;
  if (Swaps % 5 != 0) return;
  const char* Name = std::getenv("VADREL_SWAPCOUNT_FILE");
  if (std::FILE* File = Name ? std::fopen(Name, "w") : nullptr) {
    std::fprintf(File, "%ld %.3f\n", Swaps - 1, std::chrono::duration<double>(Now - First).count());
    std::fclose(File);
  }
}

template <typename TFunction>
TFunction Next(const char* Name) {
  return reinterpret_cast<TFunction>(dlsym(RTLD_NEXT, Name));
}

}  // namespace

extern "C" {

void glXSwapBuffers(void* Display, unsigned long Drawable) {
  static const auto Real = Next<void (*)(void*, unsigned long)>("glXSwapBuffers");
  if (Real) Real(Display, Drawable);
  Count();
}

unsigned eglSwapBuffers(void* Display, void* Surface) {
  static const auto Real = Next<unsigned (*)(void*, void*)>("eglSwapBuffers");
  const unsigned Result = Real ? Real(Display, Surface) : 0;
  Count();
  return Result;
}

void SDL_GL_SwapWindow(void* Window) {
  static const auto Real = Next<void (*)(void*)>("SDL_GL_SwapWindow");
  if (Real) Real(Window);
  Count();
}

}  // extern "C"
