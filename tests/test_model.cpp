#include "Model.h"

#include "ExtOpenGL.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

// A small creature in the model text format, after the format's own example: 30 frames, start
// at frame 7, one mesh of three vertices (two bound to bones), one material, two bones.
const std::vector<std::string> Creature = {
    "// MilkShape 3D ASCII",                                                    // 1
    "",                                                                         // 2
    "Frames: 30",                                                               // 3
    "Frame: 7",                                                                 // 4
    "",                                                                         // 5
    "Meshes: 1",                                                                // 6
    "\"Regroup03\" 1 0",                                                        // 7
    "3",                                                                        // 8
    "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 1",                     // 9
    "0 1.000000 0.000000 0.000000 0.250000 0.250000 0",                         // 10
    "0 0.000000 1.000000 0.000000 1.000000 1.000000 -1",                        // 11
    "2",                                                                        // 12
    "-0.702551 -0.089157 -0.706026",                                            // 13
    "0.000000 0.000000 1.000000",                                               // 14
    "1",                                                                        // 15
    "1 0 1 2 0 1 1 1",                                                          // 16
    "",                                                                         // 17
    "Materials: 1",                                                             // 18
    "\"Material01\"",                                                           // 19
    "0.200000 0.200000 0.200000 1.000000",                                      // 20
    "0.800000 0.800000 0.800000 1.000000",                                      // 21
    "0.000000 0.000000 0.000000 1.000000",                                      // 22
    "0.000000 0.000000 0.000000 1.000000",                                      // 23
    "0.000000",                                                                 // 24
    "1.000000",                                                                 // 25
    "\"\"",                                                                     // 26
    "\"\"",                                                                     // 27
    "",                                                                         // 28
    "Bones: 2",                                                                 // 29
    "\"Middle\"",                                                               // 30
    "\"\"",                                                                     // 31
    "21 0.000000 5.950339 -27.750000 0.000000 0.000000 0.000000",               // 32
    "3",                                                                        // 33
    "1.000000 0.000000 0.000000 0.000000",                                      // 34
    "16.000000 0.000000 0.000000 0.000000",                                     // 35
    "30.000000 0.000000 0.000000 0.000000",                                     // 36
    "3",                                                                        // 37
    "1.000000 0.000000 -0.069813 0.000000",                                     // 38
    "16.000000 0.000000 0.069813 0.000000",                                     // 39
    "30.000000 0.000000 -0.069813 0.000000",                                    // 40
    "\"FinBase\"",                                                              // 41
    "\"Middle\"",                                                               // 42
    "21 0.009201 0.500000 15.499997 0.000000 0.000000 0.000000",                // 43
    "1",                                                                        // 44
    "1.000000 0.000000 0.000000 0.000000",                                      // 45
    "1",                                                                        // 46
    "1.000000 0.000000 0.000000 0.000000",                                      // 47
};

// A model with nothing that points across blocks (no material, no bones used by the mesh), so
// that any prefix of it is a consistent file.
const std::vector<std::string> Plain = {
    "Frames: 10",                             // 1
    "Meshes: 1",                              // 2
    "\"Plain\" 0 -1",                         // 3
    "3",                                      // 4
    "0 1 0 0 0 0 -1",                         // 5
    "0 0 1 0 0 0 -1",                         // 6
    "0 0 0 1 0 0 -1",                         // 7
    "1",                                      // 8
    "0 0 1",                                  // 9
    "1",                                      // 10
    "0 0 1 2 0 0 0 1",                        // 11
    "Materials: 1",                           // 12
    "\"Mat\"",                                // 13
    "0.1 0.2 0.3 1",                          // 14
    "0.4 0.5 0.6 1",                          // 15
    "0.7 0.8 0.9 1",                          // 16
    "0 0 0 1",                                // 17
    "12.5",                                   // 18
    "0.5",                                    // 19
    "\"\"",                                   // 20
    "\"alpha.bmp\"",                          // 21
    "Bones: 1",                               // 22
    "\"Root\"",                               // 23
    "\"\"",                                   // 24
    "0 0 0 0 0 0 0",                          // 25
    "1",                                      // 26
    "1 0 0 0",                                // 27
    "1",                                      // 28
    "1 0 0 0",                                // 29
};

std::string Join(const std::vector<std::string>& Lines, const std::string& End = "\r\n",
                 std::size_t Count = std::string::npos) {
  std::string Text;
  for (std::size_t I = 0; I < Lines.size() && I < Count; ++I) Text += Lines[I] + End;
  return Text;
}

// Lines with the first line equal to From replaced by To; Line receives its 1-based number.
std::vector<std::string> Replaced(std::vector<std::string> Lines, const std::string& From,
                                  const std::string& To, int* Line = nullptr) {
  for (std::size_t I = 0; I < Lines.size(); ++I)
    if (Lines[I] == From) {
      Lines[I] = To;
      if (Line) *Line = int(I) + 1;
      return Lines;
    }
  ADD_FAILURE() << "no line " << From;
  return Lines;
}

bool Load(TModel& Model, const std::string& Text, std::string* Path = nullptr) {
  TTempDir Dir;
  const std::string File = Dir.Write("model.txt", Text);
  if (Path) *Path = File;
  return Model.LoadFromFile(File);
}

// The error a load raises, with the path of the file it was loaded from.
struct TFailure {
  std::optional<EModelError> Error;
  std::string Path;
};

TFailure LoadFailure(const std::string& Text) {
  TFailure Result;
  TModel Model(false);
  try {
    Load(Model, Text, &Result.Path);
  } catch (const EModelError& Error) {
    Result.Error = Error;
    EXPECT_EQ(Model.MeshCount() + Model.MaterialCount() + Model.BoneCount(), 0)
        << "a failed load leaves the model empty";
  }
  return Result;
}


TBone BoneWithTracks(std::vector<TKeyFrame> Position, std::vector<TKeyFrame> Rotation) {
  TBone Bone;
  Bone.Name = "B";
  Bone.PositionKeys = std::move(Position);
  Bone.RotationKeys = std::move(Rotation);
  return Bone;
}

}  // namespace

// ---- Reading: the top level -----------------------------------------------------------------

TEST(ModelReader, CommentsAndBlanksOnlyGiveAnEmptyModel) {
  TModel Model(false);
  EXPECT_TRUE(Load(Model, "// a comment\r\n\r\n//\r\n\r\n"));
  EXPECT_EQ(Model.MeshCount(), 0);
  EXPECT_EQ(Model.MaterialCount(), 0);
  EXPECT_EQ(Model.BoneCount(), 0);
  EXPECT_EQ(Model.TotalFrames(), 0.0f);
  EXPECT_EQ(Model.CurrentFrame(), 0.0f);
}

TEST(ModelReader, FrameHeaders) {
  struct TCase {
    const char* Text;
    float Total, Current;
  } const Cases[] = {
      {"Frames:30\nFrame: 7\n", 30, 7},
      {"Frames: 30\nFrame:7\n", 30, 7},
      {"Frames: 30\n", 30, 0},          // "Frames:" is never taken for "Frame:"
      {"Frame: 7\nFrames: 30\n", 30, 7},
      {"Frames: 30\nFrame: 31\n", 30, 1},  // a start beyond the end restarts at frame 1
      {"Frames:   +12\nFrame: -3\n", 12, -3},
      {"Frame: 5\n", 0, 1},               // no frame count: every advance lands on 1
  };
  for (const TCase& Case : Cases) {
    TModel Model(false);
    EXPECT_TRUE(Load(Model, Case.Text));
    EXPECT_EQ(Model.TotalFrames(), Case.Total) << Case.Text;
    EXPECT_EQ(Model.CurrentFrame(), Case.Current) << Case.Text;
  }
}

TEST(ModelReader, LinesThatAreNotHeadersAreSkipped) {
  // "Meshes:" without its blank is no header: it and the mesh lines after it are skipped one by
  // one; so is an indented comment and a header in another case.
  const std::string Text =
      "Meshes:3\n\"Regroup03\" 1 0\n3\n0 1 2 3 0 0 -1\n  // indented\nmeshes: 1\nFrames: 4\n";
  TModel Model(false);
  EXPECT_TRUE(Load(Model, Text));
  EXPECT_EQ(Model.MeshCount(), 0);
  EXPECT_EQ(Model.TotalFrames(), 4.0f);
}

TEST(ModelReader, WorkedExample) {
  TModel Model(false);
  ASSERT_TRUE(Load(Model, Join(Creature)));
  EXPECT_EQ(Model.TotalFrames(), 30.0f);
  EXPECT_EQ(Model.CurrentFrame(), 7.0f);

  ASSERT_EQ(Model.MeshCount(), 1);
  EXPECT_EQ(Model.MaterialIndex(0), 0);
  const TShape& Mesh = Model.Mesh(0);
  ASSERT_EQ(Mesh.Vertices.size(), 3u);
  EXPECT_FLOAT_EQ(Mesh.Vertices[0].U, 0.133731f);
  EXPECT_FLOAT_EQ(Mesh.Vertices[0].V, 0.439513f);
  EXPECT_EQ(Mesh.Vertices[0].BoneIndex, 1);
  EXPECT_EQ(Mesh.Vertices[2].BoneIndex, -1);
  EXPECT_EQ(Mesh.Vertices[2].Y, 1.0f);  // a vertex without a bone is never moved
  ASSERT_EQ(Mesh.Normals.size(), 2u);
  EXPECT_FLOAT_EQ(Mesh.Normals[0].X, -0.702551f);
  ASSERT_EQ(Mesh.Triangles.size(), 1u);
  EXPECT_EQ(Mesh.Triangles[0].VertexIndices, (std::array<int, 3>{0, 1, 2}));
  EXPECT_EQ(Mesh.Triangles[0].NormalIndices, (std::array<int, 3>{0, 1, 1}));

  ASSERT_EQ(Model.MaterialCount(), 1);
  const TMaterial& Material = Model.Material(0);
  EXPECT_EQ(Material.Name, "Material01");
  EXPECT_EQ(Material.Ambient, (std::array<float, 4>{0.2f, 0.2f, 0.2f, 1.0f}));
  EXPECT_EQ(Material.Diffuse, (std::array<float, 4>{0.8f, 0.8f, 0.8f, 1.0f}));
  EXPECT_EQ(Material.Transparency, 1.0f);
  EXPECT_EQ(Material.Texture, 0u);

  ASSERT_EQ(Model.BoneCount(), 2);
  const TBone& Middle = Model.Bone(0);
  EXPECT_EQ(Middle.Name, "Middle");
  EXPECT_EQ(Middle.Parent, nullptr);
  EXPECT_FLOAT_EQ(Middle.Position[2], -27.75f);
  ASSERT_EQ(Middle.RotationKeys.size(), 3u);
  EXPECT_EQ(Middle.RotationKeys[1].Time, 16.0f);
  EXPECT_FLOAT_EQ(Middle.RotationKeys[1].Value[1], 0.069813f);
  EXPECT_EQ(Model.Bone(1).Name, "FinBase");
  EXPECT_EQ(Model.Bone(1).Parent, &Middle);
}

TEST(ModelReader, LineEndsAndQuotes) {
  // LF or CRLF ends, and no end after the last line, read alike; quotes go wherever they stand
  // and everything else of a name line stays, blanks included.
  std::vector<std::string> Lines = Replaced(Creature, "\"Material01\"", "\"Material 01\" ");
  Lines = Replaced(Lines, "\"FinBase\"", "\"Fin\"Base\"");
  Lines = Replaced(Lines, "\"Middle\"", "\"Mid\"dle\"");
  for (const std::string& Text : {Join(Lines, "\n"), Join(Lines, "\r\n"),
                                  Join(Lines, "\r\n").substr(0, Join(Lines, "\r\n").size() - 2)}) {
    TModel Model(false);
    ASSERT_TRUE(Load(Model, Text));
    EXPECT_EQ(Model.Material(0).Name, "Material 01 ");
    EXPECT_EQ(Model.Bone(0).Name, "Middle");
    EXPECT_EQ(Model.Bone(1).Name, "FinBase");
    EXPECT_EQ(Model.Bone(1).Parent, &Model.Bone(0));
    EXPECT_EQ(Model.Bone(1).RotationKeys.size(), 1u);
  }
}

// Read from memory without textures, as the preview, the data tests and a fuzzer read: no GL
// context is current and the colour map named does not exist, yet nothing is loaded or reported.
TEST(ModelReader, FromMemoryWithoutTexturesNeedsNoContextAndOpensNoFile) {
  TMessageCapture Messages;
  const std::string Text = Join(Replaced(Creature, "\"\"", "\"nowhere.bmp\""));
  const std::vector<std::uint8_t> Bytes(Text.begin(), Text.end());
  TModel Model(true);
  ASSERT_TRUE(Model.LoadFromMemory("memory.pp1", Bytes, TModel::TTextures::Skip));
  EXPECT_EQ(Model.CurrentFrame(), 7.0f) << "set up and posed as from a file";
  ASSERT_EQ(Model.MaterialCount(), 1);
  EXPECT_EQ(Model.Material(0).TextureFile, "nowhere.bmp");
  EXPECT_EQ(Model.Material(0).Texture, 0u);
  EXPECT_EQ(Model.Material(0).CausticTextures, (std::array<std::uint32_t, 32>{}));
  EXPECT_TRUE(Messages.Messages.empty());
  EXPECT_TRUE(Messages.Diagnostics.empty());

  const std::string Broken = "Frames: 30\nMeshes: x\n";
  TModel Refused(false);
  try {
    Refused.LoadFromMemory("memory.pp1", std::vector<std::uint8_t>(Broken.begin(), Broken.end()),
                           TModel::TTextures::Skip);
    ADD_FAILURE() << "no error for a malformed count";
  } catch (const EModelError& Error) {
    EXPECT_EQ(Error.File(), "memory.pp1");
    EXPECT_EQ(Error.Line(), 2);
  }
}

TEST(ModelReader, ParentsAreMatchedExactly) {
  TModel WrongCase(false);
  EXPECT_FALSE(Load(WrongCase, Join(Replaced(Creature, "\"Middle\"", "\"middle\""))));
  EXPECT_EQ(WrongCase.BoneCount(), 2);
  EXPECT_EQ(WrongCase.Bone(1).Parent, nullptr);
  EXPECT_EQ(WrongCase.CurrentFrame(), 0.0f) << "no set-up or advance after a failed link";

  // The first bone of the name wins; a bone may be its own parent.
  std::vector<std::string> Lines = Replaced(Creature, "\"FinBase\"", "\"Middle\"");
  TModel Duplicate(false);
  ASSERT_TRUE(Load(Duplicate, Join(Lines)));
  EXPECT_EQ(Duplicate.Bone(1).Parent, &Duplicate.Bone(0));
  Lines = Creature;
  Lines[30] = "\"Middle\"";  // the root names itself
  TModel Self(false);
  ASSERT_TRUE(Load(Self, Join(Lines)));
  EXPECT_EQ(Self.Bone(0).Parent, &Self.Bone(0));
}

// ---- Reading: files that end early ----------------------------------------------------------

TEST(ModelReader, FilesEndingInsideABlockKeepWhatWasRead) {
  struct TCase {
    std::size_t Lines;  // how many lines of Plain the file keeps
    int Meshes;
    std::size_t Vertices, Triangles;
    int Materials, Bones;
  } const Cases[] = {
      {3, 0, 0, 0, 0, 0},    // ends on the mesh line
      {4, 1, 0, 0, 0, 0},    // ends on the vertex count
      {6, 1, 2, 0, 0, 0},    // ends inside the vertices
      {11, 1, 3, 1, 0, 0},   // ends right after the last triangle
      {12, 1, 3, 1, 0, 0},   // ends on the material header
      {15, 1, 3, 1, 1, 0},   // ends inside a material
      {21, 1, 3, 1, 1, 0},   // ends right after the alpha map: the material is complete
      {29, 1, 3, 1, 1, 1},   // ends right after the last rotation key: complete
  };
  for (const TCase& Case : Cases) {
    TModel Model(false);
    EXPECT_TRUE(Load(Model, Join(Plain, "\r\n", Case.Lines))) << Case.Lines;
    ASSERT_EQ(Model.MeshCount(), Case.Meshes) << Case.Lines;
    if (Case.Meshes) {
      EXPECT_EQ(Model.Mesh(0).Vertices.size(), Case.Vertices) << Case.Lines;
      EXPECT_EQ(Model.Mesh(0).Triangles.size(), Case.Triangles) << Case.Lines;
    }
    EXPECT_EQ(Model.MaterialCount(), Case.Materials) << Case.Lines;
    EXPECT_EQ(Model.BoneCount(), Case.Bones) << Case.Lines;
  }
  TModel Cut(false);
  ASSERT_TRUE(Load(Cut, Join(Plain, "\r\n", 15)));
  EXPECT_EQ(Cut.Material(0).Name, "Mat");
  EXPECT_EQ(Cut.Material(0).Diffuse, (std::array<float, 4>{0.4f, 0.5f, 0.6f, 1}));
  EXPECT_EQ(Cut.Material(0).Specular, (std::array<float, 4>{}));
  TModel Whole(false);
  ASSERT_TRUE(Load(Whole, Join(Plain, "\r\n", 21)));
  EXPECT_EQ(Whole.Material(0).Shininess, 12.5f);
  EXPECT_EQ(Whole.Material(0).AlphaMapFile, "alpha.bmp");
}

TEST(ModelReader, CountsBeyondTheFileCostNothing) {
  // A billion announced entries in a file of a few lines: only what is there is created.
  TModel Model(false);
  const std::string Text = "Meshes: 1\n\"M\" 0 -1\n1000000000\n0 1 2 3 0 0 -1\n"
                           "0 1 2 3 0 0 -1\n";
  ASSERT_TRUE(Load(Model, Text));
  EXPECT_EQ(Model.Mesh(0).Vertices.size(), 2u);

  // Inside a block every line belongs to it, so an inflated count takes the rest of the file.
  std::vector<std::string> Materials(Plain.begin() + 11, Plain.begin() + 21);
  Materials[0] = "Materials: 2000000000";
  TModel ManyMaterials(false);
  ASSERT_TRUE(Load(ManyMaterials, Join(Materials)));
  EXPECT_EQ(ManyMaterials.MaterialCount(), 1);

  std::vector<std::string> Bones(Plain.begin() + 21, Plain.end());
  Bones[0] = "Bones: 2000000000";
  Bones[6] = "2000000000";  // the rotation key count
  TModel ManyBones(false);
  ASSERT_TRUE(Load(ManyBones, Join(Bones)));
  ASSERT_EQ(ManyBones.BoneCount(), 1);
  EXPECT_EQ(ManyBones.Bone(0).RotationKeys.size(), 1u);
}

// A long chain of bones, each the parent of the bone before it: linking, setting up and posing
// take time in proportion to the file (a search of the whole list per bone took minutes).
TEST(ModelReader, AChainOfAHundredThousandBonesLoads) {
  constexpr int Count = 100000;
  std::string Text = "Frames: 2\nBones: " + std::to_string(Count) + "\n";
  // Appended piece by piece: GCC 12 takes a string literal joined to a temporary string for an
  // overlapping copy (-Wrestrict), a known false report.
  for (int I = 0; I < Count; ++I) {
    Text += "\"b";
    Text += std::to_string(I);
    Text += "\"\n\"";
    if (I + 1 < Count) {
      Text += 'b';
      Text += std::to_string(I + 1);
    }
    Text += "\"\n0 0 0 1 0 0 0\n1\n1 0 0 0\n1\n1 0 0 0\n";
  }
  TModel Model(false);
  ASSERT_TRUE(Model.LoadFromMemory("chain", std::vector<std::uint8_t>(Text.begin(), Text.end()),
                                   TModel::TTextures::Skip));
  ASSERT_EQ(Model.BoneCount(), Count);
  EXPECT_EQ(Model.Bone(0).Parent, &Model.Bone(1));
  EXPECT_EQ(Model.Bone(Count - 1).Parent, nullptr);
}

// Inputs kept from fuzzing and hostile files made by hand (tests/regressions/model): each loads
// or is refused with EModelError, and a loaded one animates.
TEST(ModelReader, RegressionInputsLoadOrAreRefused) {
  const std::filesystem::path Folder = std::filesystem::path(VADREL_SOURCE_DIR) / "tests/regressions/model";
  ASSERT_TRUE(std::filesystem::is_directory(Folder)) << Folder;
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
    std::vector<std::uint8_t> Bytes;
    ASSERT_TRUE(ReadWholeFile(Entry.path().string(), Bytes)) << Entry.path();
    TMessageCapture Quiet;
    TModel Model(false);
    try {
      if (Model.LoadFromMemory(Entry.path().filename().string(), Bytes, TModel::TTextures::Skip))
        for (const float Step : {0.5f, 1e6f, -3.0f}) Model.Advance(Step);
    } catch (const EModelError&) {
    }
    ++Files;
  }
  EXPECT_GT(Files, 0);
}

// ---- Reading: errors ------------------------------------------------------------------------

TEST(ModelReader, UnreadableFileNamesItself) {
  TTempDir Dir;
  const std::string Missing = (Dir.Path() / "missing.pp1").string();
  for (const std::string& Path : {Missing, Dir.Path().string()}) {
    TModel Model(false);
    try {
      Model.LoadFromFile(Path);
      ADD_FAILURE() << "no error for " << Path;
    } catch (const EModelError& Error) {
      EXPECT_EQ(Error.File(), Path);
      EXPECT_EQ(Error.Line(), 0);
      EXPECT_NE(std::string(Error.what()).find(Path), std::string::npos) << Error.what();
      EXPECT_NE(Error.Reason().find("cannot read"), std::string::npos) << Error.what();
    }
  }
}

TEST(ModelReader, MalformedFilesNameFileLineAndReason) {
  struct TCase {
    const std::vector<std::string>* Base;
    const char* From;
    const char* To;
    const char* Reason;
  } const Cases[] = {
      {&Creature, "Frames: 30", "Frames: 3O", "the frame count \" 3O\" is not an integer"},
      {&Creature, "Frames: 30", "Frames: 99999999999", "frame count"},
      {&Creature, "Frame: 7", "Frame: 7.5", "start frame"},
      {&Creature, "Meshes: 1", "Meshes: one", "mesh count"},
      {&Creature, "Meshes: 1", "Meshes: -1", "the mesh count -1 is negative"},
      {&Creature, "\"Regroup03\" 1 0", "\"Two words\" 1 0", "the mesh flags \"words\""},
      {&Creature, "\"Regroup03\" 1 0", "\"Regroup03\" 1 x", "material index"},
      {&Creature, "\"Regroup03\" 1 0", "\"Regroup03\"", "mesh flags"},
      {&Creature, "0 1.000000 0.000000 0.000000 0.250000 0.250000 0",
       "0 1.0.0 0 0 0.25 0.25 0", "the vertex X \"1.0.0\" is not a number"},
      {&Creature, "0 1.000000 0.000000 0.000000 0.250000 0.250000 0", "0 1 0 0 0.25 0.25",
       "the line ends before the vertex bone index"},
      {&Creature, "0 1.000000 0.000000 0.000000 0.250000 0.250000 0", "0 1 0 0 0.25 0.25 0.0",
       "bone index"},
      {&Creature, "2", "-1", "the normal count -1 is negative"},
      {&Creature, "1 0 1 2 0 1 1 1", "1 0 1 2 0 1 1 1.5", "smoothing group"},
      {&Creature, "Materials: 1", "Materials: -1", "material count -1 is negative"},
      {&Creature, "0.800000 0.800000 0.800000 1.000000", "0.8 0.8 0.8", "colour channel"},
      {&Creature, "1.000000", "1,0", "transparency"},
      {&Creature, "Bones: 2", "Bones: -2", "bone count -2 is negative"},
      {&Creature, "21 0.000000 5.950339 -27.750000 0.000000 0.000000 0.000000",
       "21 0 5.95 -27.75 0 0", "rest rotation"},
      {&Plain, "1 0 0 0", "1 0 0 0 trailing words are ignored but not a broken time", nullptr},
      {&Plain, "1", "-4", "negative"},
      {&Plain, "1 0 0 0", "1e 0 0 0", "key time"},
  };
  for (const TCase& Case : Cases) {
    int Line = 0;
    const std::vector<std::string> Lines = Replaced(*Case.Base, Case.From, Case.To, &Line);
    const TFailure Failure = LoadFailure(Join(Lines));
    if (!Case.Reason) {
      EXPECT_FALSE(Failure.Error) << Case.To;
      continue;
    }
    ASSERT_TRUE(Failure.Error) << Case.To;
    const EModelError& Error = *Failure.Error;
    EXPECT_EQ(Error.File(), Failure.Path);
    EXPECT_EQ(Error.Line(), Line) << Case.To << ": " << Error.what();
    EXPECT_NE(Error.Reason().find(Case.Reason), std::string::npos) << Error.what();
    const std::string What = Error.what();
    EXPECT_NE(What.find(Failure.Path + ", line " + std::to_string(Line) + ": "),
              std::string::npos)
        << What;
  }
}

TEST(ModelReader, TriangleVertexChecks) {
  struct TCase {
    const char* Triangle;
    int Check;
  } const Cases[] = {
      {"1 -1 1 2 0 1 1 1", 414}, {"1 3 1 2 0 1 1 1", 415}, {"1 0 -1 2 0 1 1 1", 416},
      {"1 0 3 2 0 1 1 1", 417},  {"1 0 1 -1 0 1 1 1", 418}, {"1 0 1 3 0 1 1 1", 419},
      {"1 9 9 9 0 1 1 1", 415},  // the first failed check is the one reported
  };
  for (const TCase& Case : Cases) {
    const TFailure Failure = LoadFailure(Join(Replaced(Creature, "1 0 1 2 0 1 1 1", Case.Triangle)));
    ASSERT_TRUE(Failure.Error) << Case.Triangle;
    const std::string What = Failure.Error->what();
    EXPECT_EQ(Failure.Error->Line(), 16);
    EXPECT_NE(What.find("Assertion failure"), std::string::npos) << What;
    EXPECT_NE(What.find("Model"), std::string::npos) << What;
    EXPECT_NE(What.find(std::to_string(Case.Check)), std::string::npos) << What;
    EXPECT_NE(What.find(Failure.Path), std::string::npos) << What;
  }
}

TEST(ModelReader, IndicesThatWouldDrawOutsideTheModelAreRefused) {
  // The file's own word is not enough here: each of these would read outside the model when
  // the mesh is drawn.
  struct TCase {
    const std::vector<std::string>* Base;
    const char* From;
    const char* To;
    int Line;
    const char* Reason;
  } const Cases[] = {
      {&Creature, "1 0 1 2 0 1 1 1", "1 0 1 2 0 1 2 1", 16, "refers to normal 2, but the mesh has 2"},
      {&Creature, "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 1",
       "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 2", 9, "bone 2, but the file defines 2"},
      {&Creature, "0 1.000000 0.000000 0.000000 0.250000 0.250000 0",
       "0 1.000000 0.000000 0.000000 0.250000 0.250000 -2", 10, "bone -2"},
      {&Creature, "\"Regroup03\" 1 0", "\"Regroup03\" 1 1", 7, "uses material 1, but the file defines 1"},
      {&Creature, "Materials: 1", "Materials: 0", 7, "uses material 0, but the file defines 0"},
      {&Plain, "0 1 0 0 0 0 -1", "0 1 0 0 0 0 0", 5, "bone 0, but the file defines 0"},
  };
  for (const TCase& Case : Cases) {
    std::vector<std::string> Lines = Replaced(*Case.Base, Case.From, Case.To);
    if (Case.Base == &Plain) Lines.resize(11);  // the mesh alone: no bones follow
    const TFailure Failure = LoadFailure(Join(Lines));
    ASSERT_TRUE(Failure.Error) << Case.To;
    EXPECT_EQ(Failure.Error->Line(), Case.Line) << Failure.Error->what();
    EXPECT_NE(Failure.Error->Reason().find(Case.Reason), std::string::npos)
        << Failure.Error->what();
  }
  // A file cut before its materials leaves its mesh pointing at none: refused too.
  const TFailure Cut = LoadFailure(Join(Creature, "\r\n", 16));
  ASSERT_TRUE(Cut.Error);
  EXPECT_EQ(Cut.Error->Line(), 7);
}

TEST(ModelReader, TrackChecksAtLoad) {
  auto Bone = [](const std::string& PositionKeys, const std::string& RotationKeys) {
    return "Frames: 30\nFrame: 5\nBones: 1\n\"Root\"\n\"\"\n0 0 0 0 0 0 0\n" + PositionKeys +
           RotationKeys;
  };
  const std::string One = "1\n1 0 0 0\n";
  struct TCase {
    std::string Text;
    int Check;  // 0: loads
  } const Cases[] = {
      {Bone("0\n", One), 683},
      {Bone(One, "0\n"), 723},
      {Bone("2\n1 0 0 0\n1 1 0 0\n", One), 693},
      {Bone(One, "2\n1 0 0 0\n1 1 0 0\n"), 731},
      {Bone("3\n1 0 0 0\n1 1 0 0\n30 2 0 0\n", One), 0},  // a repeated time passed over
      {"Frames: 30\nFrame: 5\nBones: 1\n\"Root\"\n\"\"\n0 0 0 0 0 0 0\n", 683},  // cut short
  };
  for (const TCase& Case : Cases) {
    const TFailure Failure = LoadFailure(Case.Text);
    if (Case.Check == 0) {
      EXPECT_FALSE(Failure.Error) << Failure.Error->what();
      continue;
    }
    ASSERT_TRUE(Failure.Error) << Case.Check;
    const std::string What = Failure.Error->what();
    EXPECT_EQ(Failure.Error->File(), Failure.Path);
    EXPECT_EQ(Failure.Error->Line(), 4) << What;  // the bone's name line
    EXPECT_NE(What.find("Assertion failure (Model, " + std::to_string(Case.Check) + ")"),
              std::string::npos)
        << What;
    EXPECT_NE(What.find("\"Root\""), std::string::npos) << What;
  }
}

// ---- Skeleton and animation -----------------------------------------------------------------

// ---- Closed meshes -------------------------------------------------------------------------

namespace {

// One mesh of the given corners (x y z u) and triangles, without material or bones.
std::string OneMesh(const std::vector<std::array<float, 4>>& Corners,
                    const std::vector<std::array<int, 3>>& Triangles) {
  std::string Text = "Frames: 1\nFrame: 1\nMeshes: 1\n\"m\" 0 -1\n" + std::to_string(Corners.size()) + "\n";
  for (const auto& C : Corners)
    Text += "0 " + std::to_string(C[0]) + " " + std::to_string(C[1]) + " " + std::to_string(C[2]) +
            " " + std::to_string(C[3]) + " 0 -1\n";
  Text += "1\n0 0 1\n" + std::to_string(Triangles.size()) + "\n";
  for (const auto& T : Triangles)
    Text += "0 " + std::to_string(T[0]) + " " + std::to_string(T[1]) + " " + std::to_string(T[2]) +
            " 0 0 0 1\n";
  return Text + "Materials: 0\nBones: 0\n";
}

}  // namespace

// Only a mesh whose every back face must lie behind one of its front faces counts as closed: the
// drawing leaves such faces out, so a false "closed" would cut holes in what is drawn.
TEST(ModelShape, ClosedMeshesAreWatertightAndFaceOutward) {
  const std::vector<std::array<float, 4>> Tetrahedron = {
      {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 0.5f}};
  const std::vector<std::array<int, 3>> Outward = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  const struct {
    const char* What;
    std::vector<std::array<int, 3>> Triangles;
    bool Closed;
  } Cases[] = {
      {"a tetrahedron facing out", Outward, true},
      {"inside out", {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}}, false},
      {"a face missing", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}}, false},
      {"a face twice", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}, {1, 2, 3}}, false},
      {"a seam: a corner repeated with other texture coordinates", {{0, 2, 1}, {0, 1, 4}, {0, 3, 2}, {1, 2, 3}}, true},
      {"a degenerate triangle besides", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}, {3, 4, 1}}, true},
      {"one face flipped", {{0, 1, 2}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, false},
      {"no triangles", {}, false},
  };
  for (const auto& Case : Cases) {
    const std::string Text = OneMesh(Tetrahedron, Case.Triangles);
    TModel Model(false);
    ASSERT_TRUE(Model.LoadFromMemory("m.pp1", {Text.begin(), Text.end()}, TModel::TTextures::Skip))
        << Case.What;
    EXPECT_EQ(Model.IsClosed(0), Case.Closed) << Case.What;
  }
  // The shipped creature: a sealed body, and fins of two open layers.
  std::vector<std::uint8_t> Shipped;
  if (!ReadWholeFile(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"), Shipped)) GTEST_SKIP() << "no generated data";
  TModel Creature(false);
  ASSERT_TRUE(Creature.LoadFromMemory("Vadrel.pp1", Shipped, TModel::TTextures::Skip));
  ASSERT_EQ(Creature.MeshCount(), 3);
  EXPECT_TRUE(Creature.IsClosed(0));
  EXPECT_FALSE(Creature.IsClosed(1));
  EXPECT_FALSE(Creature.IsClosed(2));
}

// A model whose bone names a parent that is not there is kept partly set up, and still drawn:
// its meshes are judged from the file as any other's (this one crashed the fast draw once).
TEST(ModelShape, APartlySetUpModelIsJudgedAndDrawnLikeAnyOther) {
  TGLTestContext GL(32, 32);
  REQUIRE_GL(GL);
  std::string Text = OneMesh({{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}},
                             {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
  Text.replace(Text.find("Bones: 0"), 8, "Bones: 1\n\"b\"\n\"nobody\"\n0 0 0 0 0 0 0\n1\n1 0 0 0\n1\n1 0 0 0");
  TModel Model(false);
  ASSERT_FALSE(Model.LoadFromMemory("m.pp1", {Text.begin(), Text.end()}, TModel::TTextures::Skip));
  ASSERT_EQ(Model.MeshCount(), 1);
  EXPECT_TRUE(Model.IsClosed(0));
  Model.Draw(TModel::TBackFaces::SkipOnClosedMeshes);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

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

// ---- Drawing --------------------------------------------------------------------------------

namespace {

std::vector<std::uint8_t> Bmp(int Width, int Height, std::uint8_t R, std::uint8_t G,
                              std::uint8_t B) {
  const std::uint32_t Stride = (std::uint32_t(Width) * 3 + 3) & ~3u, Size = Stride * Height;
  std::vector<std::uint8_t> Out = {'B', 'M'};
  for (std::uint32_t Field : {54 + Size, 0u, 54u, 40u, std::uint32_t(Width), std::uint32_t(Height)})
    PutU32(Out, Field);
  PutU16(Out, 1);
  PutU16(Out, 24);
  for (std::uint32_t Field : {0u, Size, 2835u, 2835u, 0u, 0u}) PutU32(Out, Field);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) Out.insert(Out.end(), {B, G, R});
    Out.resize(Out.size() + Stride - std::uint32_t(Width) * 3);
  }
  return Out;
}

// Points VADREL_DATA at a folder for its life.
class TDataFolder {
public:
  explicit TDataFolder(const std::filesystem::path& Folder) {
    if (const char* Old = std::getenv("VADREL_DATA")) Previous = Old;
    setenv("VADREL_DATA", Folder.c_str(), 1);
  }
  ~TDataFolder() {
    if (Previous)
      setenv("VADREL_DATA", Previous->c_str(), 1);
    else
      unsetenv("VADREL_DATA");
  }

private:
  std::optional<std::string> Previous;
};

// A data folder holding the 32 caustic frames, all mid grey.
struct TCausticData {
  TTempDir Dir;
  TDataFolder Data{Dir.Path()};
  TCausticData() {
    for (int K = 0; K < 32; ++K)
      Dir.Write("Vadrel" + std::to_string(100 + K) + ".bmp", Bmp(2, 2, 128, 128, 128));
  }
};

GLint Integer(GLenum Name) {
  GLint Value = 0;
  glGetIntegerv(Name, &Value);
  return Value;
}

void OrthoView(int Size) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, Size, 0, Size, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glClearColor(0, 0, 0, 1);
  glColor3f(1, 1, 1);
}

struct TFedVertex {
  float X, Y, Z, S, T;
};

// The vertices Draw sends, in window coordinates under OrthoView (x, y as sent; z recovered).
std::vector<TFedVertex> Feedback(TModel& Model) {
  std::vector<GLfloat> Buffer(1 << 14);
  glFeedbackBuffer(GLsizei(Buffer.size()), GL_3D_COLOR_TEXTURE, Buffer.data());
  glRenderMode(GL_FEEDBACK);
  Model.Draw();
  const GLint Count = glRenderMode(GL_RENDER);
  std::vector<TFedVertex> Out;
  for (GLint I = 0; I < Count;) {
    EXPECT_EQ(GLint(Buffer[std::size_t(I)]), GL_POLYGON_TOKEN);
    const GLint N = GLint(Buffer[std::size_t(I) + 1]);
    I += 2;
    for (GLint V = 0; V < N; ++V, I += 11) {
      const GLfloat* F = &Buffer[std::size_t(I)];
      Out.push_back({F[0], F[1], (0.5f - F[2]) * 200.0f, F[7], F[8]});
    }
  }
  return Out;
}

}  // namespace

TEST(ModelDrawing, CausticFramesStepOncePerApply) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TCausticData Data;
  TMessageCapture Messages;
  ExtOpenGL::LoadEntryPoints();
  TMaterial Material(true);
  Material.LoadCausticFrames();
  EXPECT_TRUE(Messages.Messages.empty()) << Messages.Messages[0].Text;
  std::vector<std::uint32_t> Names(Material.CausticTextures.begin(),
                                   Material.CausticTextures.end());
  std::sort(Names.begin(), Names.end());
  EXPECT_NE(Names.front(), 0u);
  EXPECT_EQ(std::unique(Names.begin(), Names.end()), Names.end()) << "32 distinct textures";

  Material.Texture = Material.CausticTextures[5];
  for (int Apply = 0; Apply < 33; ++Apply) {
    Material.Apply();
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE1_ARB);
    EXPECT_EQ(std::uint32_t(Integer(GL_TEXTURE_BINDING_2D)),
              Material.CausticTextures[std::size_t(Apply % 32)])
        << Apply;
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Material.CausticFrame, (Apply + 1) % 32);
  }
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  EXPECT_EQ(std::uint32_t(Integer(GL_TEXTURE_BINDING_2D)), Material.Texture);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

  // Without a colour map: texturing off on the active unit, and the frame stays.
  TMaterial Bare(true);
  Bare.CausticFrame = 5;
  glEnable(GL_TEXTURE_2D);
  Bare.Apply();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
  EXPECT_EQ(Bare.CausticFrame, 5);

  // A material without caustics loads no frame.
  TMaterial Plain(false);
  Plain.LoadCausticFrames();
  EXPECT_EQ(Plain.CausticTextures, (std::array<std::uint32_t, 32>{}));
}

TEST(ModelDrawing, TwoMeshesSharingAMaterialStepItTwicePerDraw) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TCausticData Data;
  Data.Dir.Write("sand.bmp", Bmp(2, 2, 255, 255, 255));
  const std::string Body =
      "3\n0 1 0 0 0 0 -1\n0 0 1 0 0 0 -1\n0 0 0 1 0 0 -1\n1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n";
  const std::string Text = "Meshes: 2\n\"A\" 0 0\n" + Body + "\"B\" 0 0\n" + Body +
                           "Materials: 1\n\"Sand\"\n1 1 1 1\n1 1 1 1\n0 0 0 1\n0 0 0 1\n0\n1\n"
                           "\".\\sand.bmp\"\n\"\"\n";  // not in the current directory: the data folder
  TModel Model(true);
  ASSERT_TRUE(Load(Model, Text));
  ASSERT_EQ(Model.MeshCount(), 2);
  ASSERT_NE(Model.Material(0).Texture, 0u);
  Model.Draw();
  EXPECT_EQ(Model.Material(0).CausticFrame, 2);
  Model.Draw();
  EXPECT_EQ(Model.Material(0).CausticFrame, 4);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ModelDrawing, TextureFileLookup) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TTempDir Work, Data;
  Work.Write("skin.bmp", Bmp(2, 2, 255, 0, 0));
  Work.Write("sub/inner.bmp", Bmp(2, 2, 255, 0, 0));
  Data.Write("floor.bmp", Bmp(2, 2, 0, 255, 0));
  TDataFolder Folder(Data.Path());
  TChangeDir Here(Work.Path());
  struct TCase {
    const char* Name;
    bool Found;
  } const Cases[] = {
      {"skin.bmp", true},        // as written, in the current directory
      {"sub\\inner.bmp", true},  // backslashes become '/'
      {".\\floor.bmp", true},    // not here: the data folder
      {"floor.bmp", true},
      {"nowhere.bmp", false},
  };
  for (const TCase& Case : Cases) {
    TMessageCapture Messages;
    TMaterial Material(false);
    Material.TextureFile = Case.Name;
    Material.LoadTextureFile();
    EXPECT_EQ(Material.Texture != 0, Case.Found) << Case.Name;
    EXPECT_EQ(Messages.Messages.empty(), Case.Found) << Case.Name;
    if (!Case.Found && !Messages.Messages.empty()) {
      EXPECT_NE(Messages.Messages[0].Text.find(Data.Path().string() + "/nowhere.bmp"),
                std::string::npos)
          << Messages.Messages[0].Text;
    }
  }
}

TEST(ModelDrawing, DrawSendsVerticesOutOfBoneSpace) {
  TGLTestContext Context(64, 64);
  REQUIRE_GL(Context);
  const std::string Text =
      "Frames: 30\nFrame: 1\nMeshes: 1\n\"M\" 0 -1\n3\n"
      "0 30 30 0 0.25 0.25 0\n0 37 30 0 0.5 0 1\n0 20 40 2 1 1 -1\n"
      "1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n"
      "Bones: 2\n"
      "\"Root\"\n\"\"\n0 30 30 0 0 0 0\n2\n1 0 0 0\n20 4 0 0\n1\n1 0 0 0\n"
      "\"Tip\"\n\"Root\"\n0 5 0 0 0 0 0\n1\n1 0 0 0\n2\n1 0 0 0\n20 0 0 1.5707963\n";
  TModel Model(false);
  ASSERT_TRUE(Load(Model, Text));
  OrthoView(64);
  struct TStep {
    float Advance;
    float Expected[3][3];
  } const Steps[] = {
      {0, {{30, 30, 0}, {37, 30, 0}, {20, 40, 2}}},   // the start frame: as in the file
      {19, {{34, 30, 0}, {39, 32, 0}, {20, 40, 2}}},  // frame 20: root moved, tip turned
  };
  for (const TStep& Step : Steps) {
    Model.Advance(Step.Advance);
    const std::vector<TFedVertex> Fed = Feedback(Model);
    ASSERT_EQ(Fed.size(), 3u);
    for (int V = 0; V < 3; ++V) {
      EXPECT_NEAR(Fed[std::size_t(V)].X, Step.Expected[V][0], 1e-3) << V;
      EXPECT_NEAR(Fed[std::size_t(V)].Y, Step.Expected[V][1], 1e-3) << V;
      EXPECT_NEAR(Fed[std::size_t(V)].Z, Step.Expected[V][2], 1e-2) << V;
    }
    EXPECT_FLOAT_EQ(Fed[0].S, 0.25f);
    EXPECT_FLOAT_EQ(Fed[0].T, 0.75f);
    EXPECT_FLOAT_EQ(Fed[1].T, 1.0f);
  }
}

TEST(ModelDrawing, OneTriangleReadBack) {
  TGLTestContext Context(64, 64);
  REQUIRE_GL(Context);
  TTempDir Work;
  Work.Write("red.bmp", Bmp(2, 2, 255, 0, 0));
  TChangeDir Here(Work.Path());
  TCausticData Data;
  const std::string Mesh = "Meshes: 1\n\"T\" 0 0\n3\n0 8 8 0 0 0 -1\n0 56 8 0 1 0 -1\n"
                           "0 32 56 0 0.5 1 -1\n1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n";
  const std::string Material = "Materials: 1\n\"Red\"\n1 1 1 1\n1 1 1 1\n0 0 0 1\n0 0 0 1\n0\n1\n"
                               "\"red.bmp\"\n\"\"\n";
  auto Pixel = [&](int X, int Y) {
    const std::vector<std::uint8_t> Pixels = Context.ReadPixels();
    const std::size_t At = (std::size_t(Y) * 64 + std::size_t(X)) * 4;
    return std::array<int, 3>{Pixels[At], Pixels[At + 1], Pixels[At + 2]};
  };
  auto Render = [&](TModel& Model) {
    OrthoView(64);
    glClear(GL_COLOR_BUFFER_BIT);
    Model.Draw();
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  };

  TModel Untextured(false);
  ASSERT_TRUE(Load(Untextured, "Meshes: 1\n\"T\" 0 -1\n" + Mesh.substr(18)));
  Render(Untextured);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(Pixel(2, 60), (std::array<int, 3>{0, 0, 0}));

  TModel Textured(false);
  ASSERT_TRUE(Load(Textured, Mesh + Material));
  Render(Textured);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 0, 0}));

  // The caustic layer multiplies in its grey frame on unit 1...
  TModel Lit(true);
  ASSERT_TRUE(Load(Lit, Mesh + Material));
  Render(Lit);
  const std::array<int, 3> Caustic = Pixel(32, 24);
  EXPECT_NEAR(Caustic[0], 128, 2);
  EXPECT_EQ(Caustic[1], 0);
  ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
  glDisable(GL_TEXTURE_2D);
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);

  // ...and a driver without a second unit draws the same model without it, calling nothing
  // that is not there.
  ExtOpenGL::ClearEntryPoints();
  const int Frame = Lit.Material(0).CausticFrame;
  Render(Lit);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(Lit.Material(0).CausticFrame, Frame);
  ExtOpenGL::LoadEntryPoints();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ModelDrawing, EveryPrefixOfAFileLoadsSafelyOrIsRefused) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  OrthoView(64);
  for (const std::vector<std::string>* Base : {&Creature, &Plain}) {
    for (std::size_t Count = 0; Count <= Base->size(); ++Count) {
      TModel Model(false);
      try {
        Load(Model, Join(*Base, "\n", Count));
      } catch (const EModelError&) {
        continue;
      }
      Model.Draw();
      Model.Advance(3.0f);
      Model.Draw();
    }
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
