// ExtOpenGL: the multitexture calls the models use. Their entry points are fetched by name at
// run time (the GL_ARB_multitexture names, or the core GL 1.3 ones where the extension is not
// offered) and kept private here; the calls do nothing when the driver offers neither. Depends on
// GL and on Platform (GetGLProcAddress, ShowDiagnostic).
#pragma once

#include <GL/gl.h>

namespace ExtOpenGL {

// Fetches the entry points for the current GL context: the ARB names when the context offers
// GL_ARB_multitexture, else the core names on GL 1.3 or later. When neither is there all stay
// null and the first such call in the process says so in a diagnostic line. Without a current context it
// leaves all null and says nothing. Safe to call any number of times.
void LoadEntryPoints();

// Forgets the entry points, as on a driver without multitexturing (test seam).
void ClearEntryPoints();

// True when every entry point is present: a second texture unit can be used.
bool HasMultitexture();

// glActiveTextureARB(Texture), or nothing when the driver offers no multitexturing.
void ActiveTexture(GLenum Texture);
// glClientActiveTextureARB(Texture): which unit's texture-coordinate array the array calls set;
// nothing without multitexturing (unit 0 is then the only one).
void ClientActiveTexture(GLenum Texture);

// glMultiTexCoord2fARB(Target, S, T); without multitexturing the coordinates of unit 0 go through
// glTexCoord2f and those of other units are dropped.
void MultiTexCoord2f(GLenum Target, GLfloat S, GLfloat T);

}  // namespace ExtOpenGL
