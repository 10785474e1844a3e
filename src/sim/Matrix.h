// Matrix: the 4x4 single-float matrix of the skeleton (column-major, element = 4 x column + row)
// and the four operations that move a three-float vector by it. Plain C++; no GL, no SDL.
#pragma once

class TMatrix {
public:
  TMatrix();  // the identity

  void GetElements(float (&Values)[16]) const;
  void SetElements(const float (&Values)[16]);
  // Self := Self x Other as affine matrices; Other may be Self.
  void PostMultiply(const TMatrix& Other);
  // Rewrites the rotation part from Euler angles (radians) about X, Y, Z.
  void SetRotation(const float (&Angles)[3]);
  void SetTranslation(const float (&Offset)[3]);

  void ApplyRotation(float (&V)[3]) const;
  void ApplyInverseRotation(float (&V)[3]) const;
  void ApplyTranslation(float (&V)[3]) const;
  void ApplyInverseTranslation(float (&V)[3]) const;

private:
  float Elements[16];
};
