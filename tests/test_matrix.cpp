#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include "Matrix.h"

namespace {

constexpr float HalfPi = 1.5707963267948966f;

struct TVector {
  float V[3];
};

std::array<float, 16> ElementsOf(const TMatrix& M) {
  float E[16];
  M.GetElements(E);
  std::array<float, 16> Result;
  std::copy(std::begin(E), std::end(E), Result.begin());
  return Result;
}

TMatrix FromElements(const std::array<float, 16>& E) {
  float Values[16];
  std::copy(E.begin(), E.end(), Values);
  TMatrix M;
  M.SetElements(Values);
  return M;
}

// Plain 4x4 product in double of two matrices taken with a 0 0 0 1 bottom row.
std::array<double, 16> AffineProduct(const std::array<float, 16>& A, const std::array<float, 16>& B) {
  auto At = [](const std::array<float, 16>& M, int Row, int Col) -> double {
    if (Row == 3) return Col == 3 ? 1.0 : 0.0;
    return M[4 * Col + Row];
  };
  std::array<double, 16> P{};
  for (int Col = 0; Col < 4; ++Col)
    for (int Row = 0; Row < 4; ++Row)
      for (int K = 0; K < 4; ++K) P[4 * Col + Row] += At(A, Row, K) * At(B, K, Col);
  return P;
}

void ExpectNear(const std::array<float, 16>& Actual, const std::array<double, 16>& Expected) {
  for (int I = 0; I < 16; ++I) EXPECT_NEAR(Actual[I], Expected[I], 1e-5) << "element " << I;
}

TMatrix Rotated(float A0, float A1, float A2) {
  TMatrix M;
  const float Angles[3] = {A0, A1, A2};
  M.SetRotation(Angles);
  return M;
}

}  // namespace

// ---- Creation and copying ----

TEST(MatrixCreation, FreshMatrixIsIdentityAndMovesNoVector) {
  TMatrix M;
  const auto E = ElementsOf(M);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(E[I], (I % 5 == 0) ? 1.0f : 0.0f) << I;

  using TOp = void (TMatrix::*)(float(&)[3]) const;
  for (TOp Op : {&TMatrix::ApplyRotation, &TMatrix::ApplyInverseRotation,
                 &TMatrix::ApplyTranslation, &TMatrix::ApplyInverseTranslation}) {
    float V[3] = {1.5f, -2.25f, 3.0f};
    (M.*Op)(V);
    EXPECT_EQ(V[0], 1.5f);
    EXPECT_EQ(V[1], -2.25f);
    EXPECT_EQ(V[2], 3.0f);
  }
}

TEST(MatrixCreation, GetThenSetCopiesAllSixteenIncludingBottomRow) {
  std::array<float, 16> E;
  for (int I = 0; I < 16; ++I) E[I] = 0.5f * I - 3.0f;
  const TMatrix Source = FromElements(E);
  float Copy[16];
  Source.GetElements(Copy);
  TMatrix Target;
  Target.SetElements(Copy);
  EXPECT_EQ(ElementsOf(Target), E);

  Target.SetIdentity();
  EXPECT_EQ(ElementsOf(Target), ElementsOf(TMatrix()));
}

// ---- Rotation ----

TEST(MatrixRotation, ZeroAnglesGiveIdentityWithPositiveZeroInElementTwo) {
  const auto E = ElementsOf(Rotated(0, 0, 0));
  EXPECT_EQ(E, ElementsOf(TMatrix()));
  EXPECT_FALSE(std::signbit(E[2]));
  // Any angles with sin(a1) = +0 would store -0.0 there without the correction.
  EXPECT_FALSE(std::signbit(ElementsOf(Rotated(1.0f, 0.0f, 2.0f))[2]));
}

TEST(MatrixRotation, CarriesUnitAxesAsEulerXThenYThenZ) {
  struct TCase {
    float Angles[3];
    float From[3];
    float To[3];
  };
  const TCase Cases[] = {
      {{0, 0, HalfPi}, {1, 0, 0}, {0, 1, 0}},        // about Z: +X toward +Y
      {{HalfPi, 0, 0}, {0, 1, 0}, {0, 0, 1}},        // about X: +Y toward +Z
      {{0, HalfPi, 0}, {0, 0, 1}, {1, 0, 0}},        // about Y: +Z toward +X
      {{0, 0, -HalfPi}, {0, 1, 0}, {1, 0, 0}},
      // X first, then Z: the reverse order would carry +X to +Z and +Y to -X.
      {{HalfPi, 0, HalfPi}, {1, 0, 0}, {0, 1, 0}},
      {{HalfPi, 0, HalfPi}, {0, 1, 0}, {0, 0, 1}},
      // X, then Y, then Z: +Y -> +Z -> +X -> +Y.
      {{HalfPi, HalfPi, HalfPi}, {0, 1, 0}, {0, 1, 0}},
      {{HalfPi, HalfPi, HalfPi}, {1, 0, 0}, {0, 0, -1}},
  };
  for (const TCase& C : Cases) {
    TMatrix M;
    M.SetRotation(C.Angles);
    float V[3] = {C.From[0], C.From[1], C.From[2]};
    M.ApplyRotation(V);
    for (int K = 0; K < 3; ++K)
      EXPECT_NEAR(V[K], C.To[K], 1e-6) << "angles " << C.Angles[0] << "," << C.Angles[1] << ","
                                       << C.Angles[2] << " component " << K;
    // The inverse rotation carries it back.
    M.ApplyInverseRotation(V);
    for (int K = 0; K < 3; ++K) EXPECT_NEAR(V[K], C.From[K], 1e-6);
  }
}

TEST(MatrixRotation, RotationAndTranslationTouchOnlyTheirOwnElements) {
  const float Angles[3] = {0.3f, -1.1f, 2.0f};
  const float Offset[3] = {4.0f, -5.0f, 6.5f};
  std::array<float, 16> Junk;
  for (int I = 0; I < 16; ++I) Junk[I] = 100.0f + I;

  TMatrix A = FromElements(Junk), B = FromElements(Junk);
  A.SetRotation(Angles);
  A.SetTranslation(Offset);
  B.SetTranslation(Offset);
  B.SetRotation(Angles);
  const auto EA = ElementsOf(A);
  EXPECT_EQ(EA, ElementsOf(B));
  for (int I : {3, 7, 11, 15}) EXPECT_EQ(EA[I], Junk[I]) << I;
  EXPECT_EQ(EA[12], 4.0f);
  EXPECT_EQ(EA[13], -5.0f);
  EXPECT_EQ(EA[14], 6.5f);
}

// ---- Vector operations ----

TEST(MatrixVector, EachOperationReadsTheRightElements) {
  // A matrix with no symmetry, so a transposed or shifted index shows.
  std::array<float, 16> E;
  for (int I = 0; I < 16; ++I) E[I] = float(I + 1);
  const TMatrix M = FromElements(E);
  struct TCase {
    const char* Name;
    void (TMatrix::*Op)(float (&)[3]) const;
    float Expected[3];
  };
  // V = (1, 2, 3).
  const TCase Cases[] = {
      {"rotation", &TMatrix::ApplyRotation, {1 + 10 + 27, 2 + 12 + 30, 3 + 14 + 33}},
      {"inverse rotation", &TMatrix::ApplyInverseRotation, {1 + 4 + 9, 5 + 12 + 21, 9 + 20 + 33}},
      {"translation", &TMatrix::ApplyTranslation, {1 + 13, 2 + 14, 3 + 15}},
      {"inverse translation", &TMatrix::ApplyInverseTranslation, {1 - 13, 2 - 14, 3 - 15}},
  };
  for (const TCase& C : Cases) {
    float V[3] = {1, 2, 3};
    (M.*C.Op)(V);
    for (int K = 0; K < 3; ++K) EXPECT_EQ(V[K], C.Expected[K]) << C.Name << " component " << K;
  }
}

TEST(MatrixVector, InverseOperationsUndoForwardOnesOnRandomVectors) {
  std::mt19937 Random(12345);
  std::uniform_real_distribution<float> Angle(-7.0f, 7.0f), Coord(-100.0f, 100.0f);
  for (int Trial = 0; Trial < 200; ++Trial) {
    // A two-bone chain, as the skeleton builds it: parent x local.
    TMatrix Parent = Rotated(Angle(Random), Angle(Random), Angle(Random));
    const float ParentOffset[3] = {Coord(Random), Coord(Random), Coord(Random)};
    Parent.SetTranslation(ParentOffset);
    TMatrix Local = Rotated(Angle(Random), Angle(Random), Angle(Random));
    const float LocalOffset[3] = {Coord(Random), Coord(Random), Coord(Random)};
    Local.SetTranslation(LocalOffset);
    Parent.PostMultiply(Local);

    const float Start[3] = {Coord(Random), Coord(Random), Coord(Random)};
    float V[3] = {Start[0], Start[1], Start[2]};
    Parent.ApplyRotation(V);
    Parent.ApplyTranslation(V);
    Parent.ApplyInverseTranslation(V);
    Parent.ApplyInverseRotation(V);
    for (int K = 0; K < 3; ++K) EXPECT_NEAR(V[K], Start[K], 2e-4) << "trial " << Trial;
  }
}

// ---- PostMultiply ----

TEST(MatrixPostMultiply, IsTheAffineProductAndIgnoresStoredBottomRows) {
  std::array<float, 16> A, B;
  for (int I = 0; I < 16; ++I) {
    A[I] = 0.25f * I - 1.0f;
    B[I] = 1.5f - 0.125f * I * I;
  }
  // Junk in both bottom rows: the product must read them as 0 0 0 1 and write 0 0 0 1.
  for (int I : {3, 7, 11, 15}) {
    A[I] = 9.0f + I;
    B[I] = -7.0f - I;
  }
  TMatrix M = FromElements(A);
  M.PostMultiply(FromElements(B));
  const auto P = ElementsOf(M);
  ExpectNear(P, AffineProduct(A, B));
  EXPECT_EQ(P[3], 0.0f);
  EXPECT_EQ(P[7], 0.0f);
  EXPECT_EQ(P[11], 0.0f);
  EXPECT_EQ(P[15], 1.0f);
}

TEST(MatrixPostMultiply, WithItselfGivesTheAffineSquare) {
  TMatrix M = Rotated(0.4f, -0.2f, 1.3f);
  const float Offset[3] = {1.0f, 2.0f, -3.0f};
  M.SetTranslation(Offset);
  const auto Before = ElementsOf(M);
  M.PostMultiply(M);
  ExpectNear(ElementsOf(M), AffineProduct(Before, Before));

  // Two quarter turns about Z make a half turn; the translation is T + R·T.
  TMatrix Q = Rotated(0, 0, HalfPi);
  const float Shift[3] = {1.0f, 0.0f, 0.0f};
  Q.SetTranslation(Shift);
  Q.PostMultiply(Q);
  float V[3] = {1.0f, 0.0f, 0.0f};
  Q.ApplyRotation(V);
  EXPECT_NEAR(V[0], -1.0f, 1e-6);
  EXPECT_NEAR(V[1], 0.0f, 1e-6);
  const auto E = ElementsOf(Q);
  EXPECT_NEAR(E[12], 1.0f, 1e-6);
  EXPECT_NEAR(E[13], 1.0f, 1e-6);
  EXPECT_NEAR(E[14], 0.0f, 1e-6);
}
