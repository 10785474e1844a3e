// GLState: guards that save a piece of fixed-function GL state when made and put it back when
// they go, so that a module that changes state another module relies on restores it on every
// path out. Depends on GL and ExtOpenGL (the active texture unit). Need a current context.
#pragma once

#include <GL/gl.h>

// Enables or disables Capability.
void SetGLEnabled(GLenum Capability, bool Enabled);

// One capability's enable (GL_ALPHA_TEST, GL_CULL_FACE, ...).
class TEnableGuard {
public:
  explicit TEnableGuard(GLenum Capability)
      : FCapability(Capability), FEnabled(glIsEnabled(Capability)) {}
  ~TEnableGuard() { SetGLEnabled(FCapability, FEnabled); }
  TEnableGuard(const TEnableGuard&) = delete;
  TEnableGuard& operator=(const TEnableGuard&) = delete;

  bool WasEnabled() const { return FEnabled; }

private:
  GLenum FCapability;
  bool FEnabled;
};

// The culling of back faces: its enable, which faces it culls and which winding faces front.
class TCullingGuard {
public:
  TCullingGuard();
  ~TCullingGuard();
  TCullingGuard(const TCullingGuard&) = delete;
  TCullingGuard& operator=(const TCullingGuard&) = delete;

  bool WasEnabled() const { return FEnabled.WasEnabled(); }
  GLint FrontFace() const { return FFrontFace; }

private:
  TEnableGuard FEnabled{GL_CULL_FACE};
  GLint FMode = GL_BACK;
  GLint FFrontFace = GL_CCW;
};

// The active texture unit and the 2-D texture bound on Unit.
class TTextureUnitGuard {
public:
  explicit TTextureUnitGuard(GLenum Unit);
  ~TTextureUnitGuard();
  TTextureUnitGuard(const TTextureUnitGuard&) = delete;
  TTextureUnitGuard& operator=(const TTextureUnitGuard&) = delete;

private:
  GLenum FUnit;
  GLint FActive = 0;
  GLint FBound = 0;
};

// One pixel-store parameter (GL_PACK_ALIGNMENT, GL_UNPACK_ALIGNMENT, ...).
class TPixelStoreGuard {
public:
  explicit TPixelStoreGuard(GLenum Parameter);
  ~TPixelStoreGuard() { glPixelStorei(FParameter, FValue); }
  TPixelStoreGuard(const TPixelStoreGuard&) = delete;
  TPixelStoreGuard& operator=(const TPixelStoreGuard&) = delete;

private:
  GLenum FParameter;
  GLint FValue = 0;
};
