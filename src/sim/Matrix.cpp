#include "Matrix.h"

#include <cmath>

// Intermediate products and sums are carried in double; every stored element is rounded to
// single once, so results do not depend on how the compiler contracts float expressions.

TMatrix::TMatrix() {
  for (float& E : Elements) E = 0.0f;
  Elements[0] = Elements[5] = Elements[10] = Elements[15] = 1.0f;
}

void TMatrix::GetElements(float (&Values)[16]) const {
  for (int I = 0; I < 16; ++I) Values[I] = Elements[I];
}

void TMatrix::SetElements(const float (&Values)[16]) {
  for (int I = 0; I < 16; ++I) Elements[I] = Values[I];
}

void TMatrix::PostMultiply(const TMatrix& Other) {
  const float* A = Elements;
  const float* B = Other.Elements;
  float P[16];  // Other may be *this: the product is complete before anything is overwritten
  for (int J = 0; J < 4; ++J) {
    for (int I = 0; I < 3; ++I) {
      double Sum = double(A[I]) * B[4 * J] + double(A[4 + I]) * B[4 * J + 1] +
                   double(A[8 + I]) * B[4 * J + 2];
      if (J == 3) Sum += A[12 + I];
      P[4 * J + I] = float(Sum);
    }
  }
  P[3] = 0.0f;
  P[7] = 0.0f;
  P[11] = 0.0f;
  P[15] = 1.0f;
  SetElements(P);
}

void TMatrix::SetRotation(const float (&Angles)[3]) {
  const double Cr = float(std::cos(double(Angles[0])));
  const double Sr = float(std::sin(double(Angles[0])));
  const double Cp = float(std::cos(double(Angles[1])));
  const double Sp = float(std::sin(double(Angles[1])));
  const double Cy = float(std::cos(double(Angles[2])));
  const double Sy = float(std::sin(double(Angles[2])));
  const double SrSp = float(Sr * Sp);
  const double CrSp = float(Cr * Sp);

  Elements[0] = float(Cp * Cy);
  Elements[1] = float(Cp * Sy);
  Elements[2] = float(-Sp);
  if (Elements[2] == 0.0f) Elements[2] = 0.0f;  // never leave -0.0 here

  Elements[4] = float(SrSp * Cy - Cr * Sy);
  Elements[5] = float(SrSp * Sy + Cr * Cy);
  Elements[6] = float(Sr * Cp);

  Elements[8] = float(CrSp * Cy + Sr * Sy);
  Elements[9] = float(CrSp * Sy - Sr * Cy);
  Elements[10] = float(Cr * Cp);
}

void TMatrix::SetTranslation(const float (&Offset)[3]) {
  Elements[12] = Offset[0];
  Elements[13] = Offset[1];
  Elements[14] = Offset[2];
}

void TMatrix::ApplyRotation(float (&V)[3]) const {
  const double X = V[0], Y = V[1], Z = V[2];
  const float* E = Elements;
  V[0] = float(E[0] * X + E[4] * Y + E[8] * Z);
  V[1] = float(E[1] * X + E[5] * Y + E[9] * Z);
  V[2] = float(E[2] * X + E[6] * Y + E[10] * Z);
}

void TMatrix::ApplyInverseRotation(float (&V)[3]) const {
  const double X = V[0], Y = V[1], Z = V[2];
  const float* E = Elements;
  V[0] = float(E[0] * X + E[1] * Y + E[2] * Z);
  V[1] = float(E[4] * X + E[5] * Y + E[6] * Z);
  V[2] = float(E[8] * X + E[9] * Y + E[10] * Z);
}

void TMatrix::ApplyTranslation(float (&V)[3]) const {
  V[0] = float(double(V[0]) + Elements[12]);
  V[1] = float(double(V[1]) + Elements[13]);
  V[2] = float(double(V[2]) + Elements[14]);
}

void TMatrix::ApplyInverseTranslation(float (&V)[3]) const {
  V[0] = float(double(V[0]) - Elements[12]);
  V[1] = float(double(V[1]) - Elements[13]);
  V[2] = float(double(V[2]) - Elements[14]);
}
