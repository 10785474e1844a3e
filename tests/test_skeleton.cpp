#include "ModelSamples.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TBone BoneWithTracks(std::vector<TKeyFrame> Position, std::vector<TKeyFrame> Rotation) {
  TBone Bone;
  Bone.Name = std::string(1, 'B');  // GCC 12 warns falsely of an overlapping copy of = "B" here
  Bone.PositionKeys = std::move(Position);
  Bone.RotationKeys = std::move(Rotation);
  return Bone;
}

}  // namespace

TEST(ModelTrack, Evaluation) {
  const std::vector<TKeyFrame> Three = {
      {1.0f, {0, 0, 0}}, {16.0f, {0, 0.069813f, 0}}, {30.0f, {0, -0.069813f, 0}}};
  const TBone Bone = BoneWithTracks({{5.0f, {1, 2, 3}}}, Three);
  struct TCase {
    float Time;
    std::array<float, 3> Expected;
  } const Cases[] = {
      {0.0f, {0, 0, 0}},           // before the first key: the first key, no extrapolation
      {1.0f, {0, 0, 0}},
      {8.5f, {0, 0.0349065f, 0}},
      {16.0f, {0, 0.069813f, 0}},  // f = 1: key 1 exactly
      {23.0f, {0, 0, 0}},
      {30.5f, {0, -0.069813f, 0}},  // past the last key: f clamped to 1
      {1000.0f, {0, -0.069813f, 0}},
  };
  for (const TCase& Case : Cases) {
    const std::array<float, 3> R = Bone.RotationAt(Case.Time);
    for (int J = 0; J < 3; ++J) EXPECT_NEAR(R[J], Case.Expected[J], 1e-7) << Case.Time;
    // A one-key track gives its key at any time.
    EXPECT_EQ(Bone.PositionAt(Case.Time), (std::array<float, 3>{1, 2, 3}));
  }
  EXPECT_EQ(Bone.RotationAt(16.0f)[1], 0.069813f);
}

TEST(ModelTrack, ZeroBoneAnimatesToIdentity) {
  TBone Bone = BoneWithTracks({{1, {0, 0, 0}}}, {{1, {0, 0, 0}}, {9, {0, 0, 0}}});
  Bone.Absolute.SetTranslation({1, 2, 3});
  Bone.Animate(4.0f);
  float E[16];
  Bone.Absolute.GetElements(E);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(E[I], (I % 5 == 0) ? 1.0f : 0.0f) << I;
}

TEST(ModelAnimation, AdvanceRestartsAtOne) {
  TModel Model(false);
  ASSERT_TRUE(Load(Model, "Frames: 30\nFrame: 29\n"));
  Model.Advance(0.9f);
  EXPECT_FLOAT_EQ(Model.CurrentFrame(), 29.9f);
  Model.Advance(0.2f);
  EXPECT_EQ(Model.CurrentFrame(), 1.0f);  // the remainder is dropped, not carried
  Model.Advance(29.0f);
  EXPECT_EQ(Model.CurrentFrame(), 30.0f);  // landing on the last frame keeps it
  Model.Advance(1000.0f);
  EXPECT_EQ(Model.CurrentFrame(), 1.0f);

  TModel NoFrames(false);
  ASSERT_TRUE(Load(NoFrames, "// nothing\n"));
  NoFrames.Advance(0.5f);
  EXPECT_EQ(NoFrames.CurrentFrame(), 1.0f);
}

TEST(ModelAnimation, TrackFaultAfterLoadingNamesTheFile) {
  // Times that stop increasing only in the last two keys are caught once the time gets there.
  const std::string Text = "Frames: 30\nFrame: 1\nBones: 1\n\"Root\"\n\"\"\n0 0 0 0 0 0 0\n"
                           "3\n1 0 0 0\n20 1 0 0\n20 2 0 0\n1\n1 0 0 0\n";
  TModel Model(false);
  std::string Path;
  ASSERT_TRUE(Load(Model, Text, &Path));
  Model.Advance(10.0f);
  try {
    Model.Advance(10.0f);
    ADD_FAILURE() << "no error past the repeated time";
  } catch (const EModelError& Error) {
    EXPECT_EQ(Error.File(), Path);
    EXPECT_NE(Error.Reason().find("(Model, 693)"), std::string::npos) << Error.what();
  }
}

TEST(ModelAnimation, BindingThenZeroPoseGivesBackTheFilePositions) {
  // A chain of three bones with rest rotations; every key is zero at the start frame 1, and the
  // root moves (and the tip turns) at frame 20.
  const std::string Text =
      "Frames: 30\nFrame: 1\nMeshes: 1\n\"M\" 0 -1\n4\n"
      "0 1.5 -2.0 3.0 0 0 0\n0 -4.0 5.5 0.25 0 0 1\n0 7 8 9 0 0 2\n0 1 1 1 0 0 -1\n"
      "1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n"
      "Bones: 3\n"
      "\"Root\"\n\"\"\n0 1 2 3 0.3 -0.2 0.5\n2\n1 0 0 0\n20 4 0 0\n1\n1 0 0 0\n"
      "\"Mid\"\n\"Root\"\n0 5 0 0 0.1 0.7 -0.4\n1\n1 0 0 0\n1\n1 0 0 0\n"
      "\"Tip\"\n\"Mid\"\n0 0 3 0 -0.6 0.2 0.9\n1\n1 0 0 0\n2\n1 0 0 0\n20 0 0 1.2\n";
  const float File[4][3] = {{1.5f, -2.0f, 3.0f}, {-4.0f, 5.5f, 0.25f}, {7, 8, 9}, {1, 1, 1}};
  TModel Model(false);
  ASSERT_TRUE(Load(Model, Text));
  const TShape& Mesh = Model.Mesh(0);
  EXPECT_NE(Mesh.Vertices[2].X, 7.0f) << "bound vertices are stored in bone space";
  for (int V = 0; V < 4; ++V) {
    const std::array<float, 3> P = Model.Placed(Mesh.Vertices[std::size_t(V)]);
    for (int J = 0; J < 3; ++J) EXPECT_NEAR(P[J], File[V][J], 1e-4) << V << "," << J;
  }
  Model.Advance(19.0f);
  EXPECT_GT(std::fabs(Model.Placed(Mesh.Vertices[0])[0] - File[0][0]), 1.0f);
  EXPECT_EQ(Model.Placed(Mesh.Vertices[3]), (std::array<float, 3>{1, 1, 1}));
  Model.Advance(20.0f);  // past the end: back at frame 1, the zero pose
  for (int J = 0; J < 3; ++J) EXPECT_NEAR(Model.Placed(Mesh.Vertices[2])[J], File[2][J], 1e-4);
}
