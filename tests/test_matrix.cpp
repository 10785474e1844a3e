#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "Matrix.h"

namespace {

using TElements = std::array<float, 16>;
constexpr float HalfPi = 1.5707963267948966f;

TElements ElementsOf(const TMatrix& M) {
  float E[16];
  M.GetElements(E);
  return std::to_array(E);
}

TMatrix Make(const TElements& E) {
  float Values[16];
  std::copy(E.begin(), E.end(), Values);
  TMatrix M;
  M.SetElements(Values);
  return M;
}

TMatrix Rotated(float A0, float A1, float A2) {
  TMatrix M;
  const float Angles[3] = {A0, A1, A2};
  M.SetRotation(Angles);
  return M;
}

// The product in double of two matrices read with a 0 0 0 1 bottom row, whatever they store.
void ExpectAffineProduct(const TElements& P, const TElements& A, const TElements& B) {
  auto At = [](const TElements& M, int Row, int Col) {
    return Row == 3 ? (Col == 3 ? 1.0 : 0.0) : double(M[4 * Col + Row]);
  };
  for (int Col = 0; Col < 4; ++Col)
    for (int Row = 0; Row < 4; ++Row) {
      double Sum = 0;
      for (int K = 0; K < 4; ++K) Sum += At(A, Row, K) * At(B, K, Col);
      EXPECT_NEAR(P[4 * Col + Row], Sum, 1e-5) << "row " << Row << " column " << Col;
    }
  for (int I : {3, 7, 11}) EXPECT_EQ(P[I], 0.0f);
  EXPECT_EQ(P[15], 1.0f);
}

}  // namespace

TEST(MatrixBasics, VectorOperationsReadTheRightElements) {
  // No symmetry in the elements (bottom row included, which no operation reads), so a
  // transposed or shifted index shows; V = (1, 2, 3).
  TElements E;
  for (int I = 0; I < 16; ++I) E[I] = float(I + 1);
  const TMatrix M = Make(E);
  EXPECT_EQ(ElementsOf(M), E);
  struct TCase {
    void (TMatrix::*Op)(float (&)[3]) const;
    float Expected[3];
  } const Cases[] = {
      {&TMatrix::ApplyRotation, {1 + 10 + 27, 2 + 12 + 30, 3 + 14 + 33}},
      {&TMatrix::ApplyInverseRotation, {1 + 4 + 9, 5 + 12 + 21, 9 + 20 + 33}},
      {&TMatrix::ApplyTranslation, {14, 16, 18}},
      {&TMatrix::ApplyInverseTranslation, {-12, -12, -12}},
  };
  for (const TCase& C : Cases) {
    float V[3] = {1, 2, 3};
    (M.*C.Op)(V);
    for (int K = 0; K < 3; ++K) EXPECT_EQ(V[K], C.Expected[K]) << &C - Cases << "," << K;
  }
}

// What the vector operations do with these follows from the elements (the test above).
TEST(MatrixRotation, FreshMatrixAndZeroAnglesGiveIdentityWithPositiveZeroInElementTwo) {
  for (int I = 0; I < 16; ++I) EXPECT_EQ(ElementsOf(TMatrix())[I], I % 5 == 0 ? 1.0f : 0.0f) << I;
  EXPECT_EQ(ElementsOf(Rotated(0, 0, 0)), ElementsOf(TMatrix()));
  EXPECT_FALSE(std::signbit(ElementsOf(Rotated(0, 0, 0))[2]));
  EXPECT_FALSE(std::signbit(ElementsOf(Rotated(1.0f, 0, 2.0f))[2]));
}

TEST(MatrixRotation, CarriesUnitAxesAsEulerXThenYThenZ) {
  struct TCase {
    float A[3], From[3], To[3];
  } const Cases[] = {
      {{0, 0, HalfPi}, {1, 0, 0}, {0, 1, 0}},  // about Z: +X toward +Y
      {{HalfPi, 0, 0}, {0, 1, 0}, {0, 0, 1}},  // about X: +Y toward +Z
      {{0, HalfPi, 0}, {0, 0, 1}, {1, 0, 0}},  // about Y: +Z toward +X
      {{0, 0, -HalfPi}, {0, 1, 0}, {1, 0, 0}},
      // X first, then Z: the reverse order would carry +X to +Z.
      {{HalfPi, 0, HalfPi}, {1, 0, 0}, {0, 1, 0}},
      {{HalfPi, HalfPi, HalfPi}, {0, 1, 0}, {0, 1, 0}},  // +Y -> +Z -> +X -> +Y
      {{HalfPi, HalfPi, HalfPi}, {1, 0, 0}, {0, 0, -1}},
  };
  for (const TCase& C : Cases) {
    const TMatrix M = Rotated(C.A[0], C.A[1], C.A[2]);
    float V[3] = {C.From[0], C.From[1], C.From[2]};
    M.ApplyRotation(V);
    for (int K = 0; K < 3; ++K) EXPECT_NEAR(V[K], C.To[K], 1e-6) << "case " << &C - Cases;
  }
}

TEST(MatrixRotation, RotationAndTranslationTouchOnlyTheirOwnElements) {
  const float Angles[3] = {0.3f, -1.1f, 2.0f}, Offset[3] = {4.0f, -5.0f, 6.5f};
  TElements Junk;
  for (int I = 0; I < 16; ++I) Junk[I] = 100.0f + I;
  TMatrix A = Make(Junk), B = Make(Junk);
  A.SetRotation(Angles);
  A.SetTranslation(Offset);
  B.SetTranslation(Offset);
  B.SetRotation(Angles);
  const TElements E = ElementsOf(A);
  EXPECT_EQ(E, ElementsOf(B));
  for (int I : {3, 7, 11, 15}) EXPECT_EQ(E[I], Junk[I]);
  EXPECT_EQ(E[12], 4.0f);
  EXPECT_EQ(E[13], -5.0f);
  EXPECT_EQ(E[14], 6.5f);
}

TEST(MatrixPostMultiply, IsTheAffineProductWhateverTheBottomRowsHold) {
  TElements A, B;
  for (int I = 0; I < 16; ++I) {
    A[I] = I % 4 == 3 ? 9.0f + I : 0.25f * I - 1.0f;
    B[I] = I % 4 == 3 ? -7.0f - I : 1.5f - 0.125f * I * I;
  }
  TMatrix M = Make(A);
  M.PostMultiply(Make(B));
  ExpectAffineProduct(ElementsOf(M), A, B);
}

TEST(MatrixPostMultiply, WithItselfGivesTheAffineSquare) {
  TMatrix M = Rotated(0.4f, -0.2f, 1.3f);
  const float Offset[3] = {1.0f, 2.0f, -3.0f};
  M.SetTranslation(Offset);
  const TElements Before = ElementsOf(M);
  M.PostMultiply(M);
  ExpectAffineProduct(ElementsOf(M), Before, Before);
}

TEST(MatrixPostMultiply, InverseOperationsUndoForwardOnesThroughABoneChain) {
  std::mt19937 Random(12345);
  std::uniform_real_distribution<float> Angle(-7.0f, 7.0f), Coord(-100.0f, 100.0f);
  auto Bone = [&] {
    TMatrix M = Rotated(Angle(Random), Angle(Random), Angle(Random));
    const float Offset[3] = {Coord(Random), Coord(Random), Coord(Random)};
    M.SetTranslation(Offset);
    return M;
  };
  for (int Trial = 0; Trial < 200; ++Trial) {
    TMatrix Absolute = Bone();  // parent absolute x local, as the skeleton composes them
    Absolute.PostMultiply(Bone());
    const float Start[3] = {Coord(Random), Coord(Random), Coord(Random)};
    float V[3] = {Start[0], Start[1], Start[2]};
    Absolute.ApplyRotation(V);
    Absolute.ApplyTranslation(V);
    Absolute.ApplyInverseTranslation(V);
    Absolute.ApplyInverseRotation(V);
    for (int K = 0; K < 3; ++K) EXPECT_NEAR(V[K], Start[K], 2e-4) << "trial " << Trial;
  }
}
