#include "ExtOpenGL.h"

#include "Platform.h"

#include <cstdio>
#include <string_view>

namespace ExtOpenGL {

namespace {

using TActiveTextureFunc = void(GLAPIENTRY*)(GLenum Texture);
using TMultiTexCoord2fFunc = void(GLAPIENTRY*)(GLenum Target, GLfloat S, GLfloat T);

// Shared by every model; either all set or all null.
TActiveTextureFunc glActiveTextureARB = nullptr;
TMultiTexCoord2fFunc glMultiTexCoord2fARB = nullptr;
TActiveTextureFunc glClientActiveTextureARB = nullptr;
bool Warned = false;

// Whole-word search of the space-separated GL_EXTENSIONS list.
bool HasExtension(const char* List, std::string_view Name) {
  if (!List) return false;
  std::string_view Rest(List);
  while (!Rest.empty()) {
    const std::size_t Blank = Rest.find(' ');
    if (Rest.substr(0, Blank) == Name) return true;
    if (Blank == std::string_view::npos) break;
    Rest.remove_prefix(Blank + 1);
  }
  return false;
}

// The "major.minor" at the start of GL_VERSION is at least 1.3.
bool VersionAtLeast13(const char* Version) {
  int Major = 0, Minor = 0;
  if (std::sscanf(Version, "%d.%d", &Major, &Minor) != 2) return false;
  return Major > 1 || (Major == 1 && Minor >= 3);
}

void Fetch(const char* ActiveName, const char* MultiName, const char* ClientName) {
  glActiveTextureARB = reinterpret_cast<TActiveTextureFunc>(GetGLProcAddress(ActiveName));
  glMultiTexCoord2fARB = reinterpret_cast<TMultiTexCoord2fFunc>(GetGLProcAddress(MultiName));
  glClientActiveTextureARB = reinterpret_cast<TActiveTextureFunc>(GetGLProcAddress(ClientName));
}

}  // namespace

void LoadEntryPoints() {
  ClearEntryPoints();
  const char* Version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (!Version) return;  // no current context: nothing can be fetched yet
  // A loader may hand out a stub for any name, so the context's own word decides what exists.
  const char* Extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (HasExtension(Extensions, "GL_ARB_multitexture"))
    Fetch("glActiveTextureARB", "glMultiTexCoord2fARB", "glClientActiveTextureARB");
  if (!HasMultitexture() && VersionAtLeast13(Version))
    Fetch("glActiveTexture", "glMultiTexCoord2f", "glClientActiveTexture");
  if (HasMultitexture()) return;
  ClearEntryPoints();
  if (!Warned) {
    Warned = true;
    ShowDiagnostic(
        "the GL driver offers no multitexturing (neither GL_ARB_multitexture nor GL 1.3); "
        "models are drawn without the caustic layer");
  }
}

void ClearEntryPoints() {
  glActiveTextureARB = nullptr;
  glMultiTexCoord2fARB = nullptr;
  glClientActiveTextureARB = nullptr;
}

bool HasMultitexture() {
  return glActiveTextureARB && glMultiTexCoord2fARB && glClientActiveTextureARB;
}

void ActiveTexture(GLenum Texture) {
  if (glActiveTextureARB) glActiveTextureARB(Texture);
}

void ClientActiveTexture(GLenum Texture) {
  if (glClientActiveTextureARB) glClientActiveTextureARB(Texture);
}

void MultiTexCoord2f(GLenum Target, GLfloat S, GLfloat T) {
  if (glMultiTexCoord2fARB)
    glMultiTexCoord2fARB(Target, S, T);
  else if (Target == GL_TEXTURE0_ARB)
    glTexCoord2f(S, T);
}

}  // namespace ExtOpenGL
