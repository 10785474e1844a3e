#include "ModelSamples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace {

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

}  // namespace

// ---- Reading: the top level -----------------------------------------------------------------

// Files of headers, comments and skipped lines only: the frames they set and no blocks.
TEST(ModelReader, FrameHeadersCommentsAndLinesThatAreNotHeaders) {
  struct TCase {
    const char* Text;
    float Total, Current;
  } const Cases[] = {
      {"// a comment\r\n\r\n//\r\n\r\n", 0, 0},
      {"Frames:30\nFrame: 7\n", 30, 7},
      {"Frames: 30\nFrame:7\n", 30, 7},
      {"Frames: 30\n", 30, 0},          // "Frames:" is never taken for "Frame:"
      {"Frame: 7\nFrames: 30\n", 30, 7},
      {"Frames: 30\nFrame: 31\n", 30, 1},  // a start beyond the end restarts at frame 1
      {"Frames:   +12\nFrame: -3\n", 12, -3},
      {"Frame: 5\n", 0, 1},               // no frame count: every advance lands on 1
      // "Meshes:" without its blank is no header: it and the mesh lines after it are skipped
      // one by one; so is an indented comment and a header in another case.
      {"Meshes:3\n\"Regroup03\" 1 0\n3\n0 1 2 3 0 0 -1\n  // indented\nmeshes: 1\nFrames: 4\n", 4,
       0},
  };
  for (const TCase& Case : Cases) {
    TModel Model(false);
    EXPECT_TRUE(Load(Model, Case.Text));
    EXPECT_EQ(Model.TotalFrames(), Case.Total) << Case.Text;
    EXPECT_EQ(Model.CurrentFrame(), Case.Current) << Case.Text;
    EXPECT_EQ(Model.MeshCount() + Model.MaterialCount() + Model.BoneCount(), 0) << Case.Text;
  }
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

TEST(ModelReader, MalformedFilesAndIndicesOutsideTheModelNameFileLineAndReason) {
  struct TCase {
    const std::vector<std::string>* Base;
    const char* From;
    const char* To;
    const char* Reason;
    int Line = 0;  // of the error, where not the edited line
    std::size_t Keep = std::string::npos;  // lines of the edited file
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
      // The file's own word is not enough for indices: each of these would read outside the
      // model when the mesh is drawn.
      {&Creature, "1 0 1 2 0 1 1 1", "1 0 1 2 0 1 2 1", "refers to normal 2, but the mesh has 2"},
      {&Creature, "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 1",
       "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 2", "bone 2, but the file defines 2"},
      {&Creature, "0 1.000000 0.000000 0.000000 0.250000 0.250000 0",
       "0 1.000000 0.000000 0.000000 0.250000 0.250000 -2", "bone -2"},
      {&Creature, "\"Regroup03\" 1 0", "\"Regroup03\" 1 1",
       "uses material 1, but the file defines 1"},
      {&Creature, "Materials: 1", "Materials: 0", "uses material 0, but the file defines 0", 7},
      {&Plain, "0 1 0 0 0 0 -1", "0 1 0 0 0 0 0", "bone 0, but the file defines 0", 0, 11},
  };
  for (const TCase& Case : Cases) {
    int Line = 0;
    const std::vector<std::string> Lines = Replaced(*Case.Base, Case.From, Case.To, &Line);
    const TFailure Failure = LoadFailure(Join(Lines, "\r\n", Case.Keep));
    if (Case.Line) Line = Case.Line;
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
  // A file cut before its materials leaves its mesh pointing at none: refused too.
  const TFailure Cut = LoadFailure(Join(Creature, "\r\n", 16));
  ASSERT_TRUE(Cut.Error);
  EXPECT_EQ(Cut.Error->Line(), 7);
}

// A failed check names its number, the file, the line of what failed it (a triangle's line, a
// bone's name line) and the bone; the first check to fail is the one reported.
TEST(ModelReader, FailedChecksNameTheirNumberFileAndLine) {
  const auto Triangle = [](const char* Line) {
    return Join(Replaced(Creature, "1 0 1 2 0 1 1 1", Line));
  };
  const auto Bone = [](const std::string& PositionKeys, const std::string& RotationKeys) {
    return "Frames: 30\nFrame: 5\nBones: 1\n\"Root\"\n\"\"\n0 0 0 0 0 0 0\n" + PositionKeys +
           RotationKeys;
  };
  const std::string One = "1\n1 0 0 0\n";
  struct TCase {
    std::string Text;
    int Line, Check;  // Check 0: loads
    const char* Mentions;
  } const Cases[] = {
      {Triangle("1 -1 1 2 0 1 1 1"), 16, 414, ""},
      {Triangle("1 3 1 2 0 1 1 1"), 16, 415, ""},
      {Triangle("1 0 -1 2 0 1 1 1"), 16, 416, ""},
      {Triangle("1 0 3 2 0 1 1 1"), 16, 417, ""},
      {Triangle("1 0 1 -1 0 1 1 1"), 16, 418, ""},
      {Triangle("1 0 1 3 0 1 1 1"), 16, 419, ""},
      {Triangle("1 9 9 9 0 1 1 1"), 16, 415, ""},
      {Bone("0\n", One), 4, 683, "\"Root\""},
      {Bone(One, "0\n"), 4, 723, "\"Root\""},
      {Bone("2\n1 0 0 0\n1 1 0 0\n", One), 4, 693, "\"Root\""},
      {Bone(One, "2\n1 0 0 0\n1 1 0 0\n"), 4, 731, "\"Root\""},
      {Bone("3\n1 0 0 0\n1 1 0 0\n30 2 0 0\n", One), 4, 0, ""},  // a repeated time passed over
      {Bone("", ""), 4, 683, "\"Root\""},                           // cut short
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
    EXPECT_EQ(Failure.Error->Line(), Case.Line) << What;
    EXPECT_NE(What.find("Assertion failure (Model, " + std::to_string(Case.Check) + ")"),
              std::string::npos)
        << What;
    EXPECT_NE(What.find(Failure.Path), std::string::npos) << What;
    EXPECT_NE(What.find(Case.Mentions), std::string::npos) << What;
  }
}
