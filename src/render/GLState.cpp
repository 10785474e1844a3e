#include "GLState.h"

#include "ExtOpenGL.h"

void SetGLEnabled(GLenum Capability, bool Enabled) {
  if (Enabled)
    glEnable(Capability);
  else
    glDisable(Capability);
}

TCullingGuard::TCullingGuard() {
  glGetIntegerv(GL_CULL_FACE_MODE, &FMode);
  glGetIntegerv(GL_FRONT_FACE, &FFrontFace);
}

TCullingGuard::~TCullingGuard() {
  glCullFace(GLenum(FMode));
  glFrontFace(GLenum(FFrontFace));
}

TTextureUnitGuard::TTextureUnitGuard(GLenum Unit) : FUnit(Unit), FActive(GLint(GL_TEXTURE0_ARB)) {
  glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &FActive);
  ExtOpenGL::ActiveTexture(FUnit);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &FBound);
}

TTextureUnitGuard::~TTextureUnitGuard() {
  ExtOpenGL::ActiveTexture(FUnit);
  glBindTexture(GL_TEXTURE_2D, GLuint(FBound));
  ExtOpenGL::ActiveTexture(GLenum(FActive));
}

TPixelStoreGuard::TPixelStoreGuard(GLenum Parameter) : FParameter(Parameter) {
  glGetIntegerv(Parameter, &FValue);
}
