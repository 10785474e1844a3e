#include "Model.h"

#include "ExtOpenGL.h"
#include "Platform.h"
#include "Textures.h"

#include <GL/gl.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <charconv>
#include <cstring>
#include <string_view>
#include <map>
#include <tuple>
#include <unordered_map>

// ---- Errors ---------------------------------------------------------------------------------

namespace {

std::string ErrorText(const std::string& File, int Line, const std::string& Reason) {
  std::string Text = File.empty() ? std::string("model") : File;
  if (Line > 0) Text += ", line " + std::to_string(Line);
  return Text + ": " + Reason;
}

std::string Assertion(int Check) {
  return "Assertion failure (Model, " + std::to_string(Check) + "): ";
}

std::string Quoted(std::string_view Text) {
  std::string Result;
  Result.reserve(Text.size() + 2);
  Result += '"';
  Result += Text;
  Result += '"';
  return Result;
}

}  // namespace

EModelError::EModelError(const std::string& File, int Line, const std::string& Reason)
    : std::runtime_error(ErrorText(File, Line, Reason)), FFile(File), FLine(Line),
      FReason(Reason) {}

// ---- The model file, line by line ----------------------------------------------------------

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

std::string WithoutQuotes(std::string_view Line) {
  std::string Result;
  Result.reserve(Line.size());
  for (const char C : Line)
    if (C != '"') Result += C;
  return Result;
}

std::string WithoutAll(std::string_view Line, std::string_view Word) {
  std::string Result;
  std::size_t From = 0;
  for (std::size_t At; (At = Line.find(Word, From)) != std::string_view::npos; From = At + Word.size())
    Result += Line.substr(From, At - From);
  Result += Line.substr(From);
  return Result;
}

// A decimal integer that fills the whole of Text (after optional blanks and a sign).
bool ParseInteger(std::string_view Text, int& Value) {
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    if (!Text.empty() && Text.front() == '-') return false;
  }
  if (Text.empty()) return false;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size();
}

// A decimal real that fills the whole of Token: digits with an optional point and exponent; no
// hexadecimal, infinity or NaN.
bool ParseReal(std::string_view Token, float& Value) {
  if (!Token.empty() && Token.front() == '+') Token.remove_prefix(1);
  if (Token.empty() || Token.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return false;
  const auto [End, Error] = std::from_chars(Token.data(), Token.data() + Token.size(), Value);
  return Error == std::errc() && End == Token.data() + Token.size();
}

}  // namespace

// The open model file: hands out whole lines (CRLF or LF ends), knows whether the file is at its
// end and which line was read last, and raises every reading fault as an EModelError on that line.
class TModelText {
public:
  TModelText(const std::string& File, const std::vector<std::uint8_t>& Bytes)
      : FileName(File), Data(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()) {}

  bool AtEnd() const { return Position >= Data.size(); }
  int LineNumber() const { return Line; }

  // The next line without its line end; empty at the end of the file.
  std::string_view ReadLine() {
    ++Line;
    if (AtEnd()) return {};
    const std::size_t Feed = Data.find('\n', Position);
    const std::size_t End = Feed == std::string_view::npos ? Data.size() : Feed;
    std::string_view Result = Data.substr(Position, End - Position);
    Position = Feed == std::string_view::npos ? Data.size() : Feed + 1;
    if (!Result.empty() && Result.back() == '\r') Result.remove_suffix(1);
    return Result;
  }

  [[noreturn]] void Fail(const std::string& Reason) const { FailAt(Line, Reason); }
  [[noreturn]] void FailAt(int AtLine, const std::string& Reason) const {
    throw EModelError(FileName, AtLine, Reason);
  }

  // The blank-separated numbers of one data line, taken in order; what is left is ignored.
  class TFields {
  public:
    TFields(const TModelText& Source, std::string_view Line) : Text(Source), Rest(Line) {}

    int Integer(const char* What) {
      const std::string_view Token = Next(What);
      int Value = 0;
      if (!ParseInteger(Token, Value))
        Text.Fail(std::string(What) + " " + Quoted(Token) + " is not an integer");
      return Value;
    }

    float Real(const char* What) {
      const std::string_view Token = Next(What);
      float Value = 0;
      if (!ParseReal(Token, Value))
        Text.Fail(std::string(What) + " " + Quoted(Token) + " is not a number");
      return Value;
    }

  private:
    const TModelText& Text;
    std::string_view Rest;

    std::string_view Next(const char* What) {
      while (!Rest.empty() && IsBlank(Rest.front())) Rest.remove_prefix(1);
      if (Rest.empty()) Text.Fail(std::string("the line ends before ") + What);
      std::size_t Length = 0;
      while (Length < Rest.size() && !IsBlank(Rest[Length])) ++Length;
      const std::string_view Token = Rest.substr(0, Length);
      Rest.remove_prefix(Length);
      return Token;
    }
  };

  TFields ReadFields() { return TFields(*this, ReadLine()); }

  // The whole of Text as an integer (leading blanks and a sign allowed, nothing after it).
  int ToInteger(std::string_view Text, const char* What) const {
    std::string_view Trimmed = Text;
    while (!Trimmed.empty() && IsBlank(Trimmed.front())) Trimmed.remove_prefix(1);
    int Value = 0;
    if (!ParseInteger(Trimmed, Value))
      Fail(std::string(What) + " " + Quoted(Text) + " is not an integer");
    return Value;
  }

  int CheckedCount(int Count, const char* What) const {
    if (Count < 0) Fail(std::string(What) + " " + std::to_string(Count) + " is negative");
    return Count;
  }

  // A count line: one integer, the rest of the line ignored.
  int ReadCount(const char* What) {
    const int Count = ReadFields().Integer(What);
    return CheckedCount(Count, What);
  }

  // How many entries of one line each the rest of the file could hold at most: the room to
  // reserve for a count that the file itself announces.
  std::size_t Room(int Count) const {
    return std::min<std::size_t>(std::size_t(Count), (Data.size() - Position) / 2 + 1);
  }

private:
  std::string FileName;
  std::string_view Data;
  std::size_t Position = 0;
  int Line = 0;
};

// ---- Reading --------------------------------------------------------------------------------

namespace {

// Reads a count line, then that many entries of one line each through ReadEntry (given the
// entry's fields), appending them to List. False when the file ends, even right after the count
// or after the last entry; List then holds exactly the entries read.
template <typename TEntry, typename TReadEntry>
bool ReadList(TModelText& Text, const char* What, std::vector<TEntry>& List, TReadEntry ReadEntry) {
  const int Total = Text.ReadCount(What);
  if (Text.AtEnd()) return false;
  List.reserve(Text.Room(Total));
  for (int I = 0; I < Total; ++I) {
    List.push_back(ReadEntry(Text.ReadFields()));
    if (Text.AtEnd()) return false;
  }
  return true;
}

TVec ReadVertex(TModelText::TFields Fields) {
  TVec Vertex;
  Fields.Integer("the vertex flags");
  Vertex.X = Fields.Real("the vertex X");
  Vertex.Y = Fields.Real("the vertex Y");
  Vertex.Z = Fields.Real("the vertex Z");
  Vertex.U = Fields.Real("the vertex U");
  Vertex.V = 1.0f - Fields.Real("the vertex V");
  Vertex.BoneIndex = Fields.Integer("the vertex bone index");
  return Vertex;
}

TNormal ReadNormal(TModelText::TFields Fields) {
  TNormal Normal;
  Normal.X = Fields.Real("the normal X");
  Normal.Y = Fields.Real("the normal Y");
  Normal.Z = Fields.Real("the normal Z");
  return Normal;
}

// A triangle line, its corners checked against Shape's vertices and normals (all read by now).
TTri ReadTriangle(const TModelText& Text, TModelText::TFields Fields, const TShape& Shape) {
  TTri Triangle;
  Fields.Integer("the triangle flags");
  for (int& Index : Triangle.VertexIndices) Index = Fields.Integer("a triangle vertex index");
  for (int& Index : Triangle.NormalIndices) Index = Fields.Integer("a triangle normal index");
  Fields.Integer("the smoothing group");
  const int Vertices = int(Shape.Vertices.size()), Normals = int(Shape.Normals.size());
  for (int Corner = 0; Corner < 3; ++Corner) {
    const int Index = Triangle.VertexIndices[Corner];
    if (Index < 0)
      Text.Fail(Assertion(414 + 2 * Corner) + "corner " + std::to_string(Corner) +
                " refers to the negative vertex index " + std::to_string(Index));
    if (Index >= Vertices)
      Text.Fail(Assertion(415 + 2 * Corner) + "corner " + std::to_string(Corner) +
                " refers to vertex " + std::to_string(Index) + ", but the mesh has " +
                std::to_string(Vertices) + " vertices");
  }
  for (int Corner = 0; Corner < 3; ++Corner) {
    const int Index = Triangle.NormalIndices[Corner];
    if (Index < 0 || Index >= Normals)
      Text.Fail("corner " + std::to_string(Corner) + " refers to normal " +
                std::to_string(Index) + ", but the mesh has " + std::to_string(Normals) +
                " normals");
  }
  return Triangle;
}

// The mesh's lines that follow its mesh line. False when the file ends too early. A triangle is
// checked as soon as it is read, so the last line of a file is checked too.
bool ReadShape(TModelText& Text, TShape& Shape) {
  return ReadList(Text, "the vertex count", Shape.Vertices, ReadVertex) &&
         ReadList(Text, "the normal count", Shape.Normals, ReadNormal) &&
         ReadList(Text, "the triangle count", Shape.Triangles,
                  [&](TModelText::TFields Fields) { return ReadTriangle(Text, Fields, Shape); });
}

// The material's nine lines. False when the file ends too early.
bool ReadMaterial(TModelText& Text, TMaterial& Material) {
  Material.Name = WithoutQuotes(Text.ReadLine());
  for (auto* Colour : {&Material.Ambient, &Material.Diffuse, &Material.Specular,
                       &Material.Emissive}) {
    if (Text.AtEnd()) return false;
    TModelText::TFields Fields = Text.ReadFields();
    for (float& Channel : *Colour) Channel = Fields.Real("a colour channel");
  }
  if (Text.AtEnd()) return false;
  Material.Shininess = Text.ReadFields().Real("the shininess");
  if (Text.AtEnd()) return false;
  Material.Transparency = Text.ReadFields().Real("the transparency");
  if (Text.AtEnd()) return false;
  Material.TextureFile = WithoutQuotes(Text.ReadLine());
  if (Text.AtEnd()) return false;
  Material.AlphaMapFile = WithoutQuotes(Text.ReadLine());
  return true;
}

// A key count line and its keys. False when the file ends before the count or inside the keys.
bool ReadKeys(TModelText& Text, const char* What, std::vector<TKeyFrame>& Keys) {
  if (Text.AtEnd()) return false;
  const int Count = Text.ReadCount(What);
  Keys.reserve(Text.Room(Count));
  for (int I = 0; I < Count; ++I) {
    if (Text.AtEnd()) return false;
    TModelText::TFields Fields = Text.ReadFields();
    TKeyFrame Key;
    Key.Time = Fields.Real("the key time");
    for (float& Value : Key.Value) Value = Fields.Real("a key value");
    Keys.push_back(Key);
  }
  return true;
}

// The bone's lines. False when the file ends too early.
bool ReadBone(TModelText& Text, TBone& Bone) {
  Bone.Name = WithoutQuotes(Text.ReadLine());
  Bone.SourceLine = Text.LineNumber();
  if (Text.AtEnd()) return false;
  Bone.ParentName = WithoutQuotes(Text.ReadLine());
  if (Text.AtEnd()) return false;
  TModelText::TFields Fields = Text.ReadFields();
  Fields.Integer("the bone flags");
  for (float& Value : Bone.Position) Value = Fields.Real("a rest position");
  for (float& Value : Bone.Rotation) Value = Fields.Real("a rest rotation");
  return ReadKeys(Text, "the position key count", Bone.PositionKeys) &&
         ReadKeys(Text, "the rotation key count", Bone.RotationKeys);
}

}  // namespace

// A whole model file read into a fresh model: the frame headers anywhere, and the blocks of
// meshes, materials and bones in any order. Entries are created as their lines arrive, never
// ahead of them: a count larger than the file holds costs nothing, and a file that ends early
// keeps exactly the entries it has.
class TModelReader {
public:
  TModelReader(TModel& Target, const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
               TModel::TTextures TextureMode)
      : Model(Target), Text(FileName, Bytes), Textures(TextureMode) {}

  // Reads the file and checks what its meshes point at; returns the start frame it names.
  float Read() {
    static constexpr TBlock Blocks[] = {
        {"Meshes: ", "the mesh count", &TModelReader::AddMesh},
        {"Materials: ", "the material count", &TModelReader::AddMaterial},
        {"Bones: ", "the bone count", &TModelReader::AddBone},
    };
    bool More = true;
    while (More && !Text.AtEnd()) {
      const std::string_view Line = Text.ReadLine();
      if (StartsWith(Line, "//") || Line.empty()) continue;
      if (StartsWith(Line, "Frames:")) {
        Model.FTotalFrames = float(Text.ToInteger(Line.substr(7), "the frame count"));
      } else if (StartsWith(Line, "Frame:")) {
        StartFrame = float(Text.ToInteger(Line.substr(6), "the start frame"));
      } else {
        for (const TBlock& Block : Blocks)
          if (StartsWith(Line, Block.Header)) {
            More = ReadBlock(Line, Block);
            break;
          }
      }
    }
    CheckIndices();
    return StartFrame;
  }

private:
  // A block: its header line (the count follows it) and how one entry is created and read.
  struct TBlock {
    std::string_view Header;
    const char* Count;
    bool (TModelReader::*AddEntry)();
  };
  TModel& Model;
  TModelText Text;
  TModel::TTextures Textures;
  float StartFrame = 0;
  // The line of each mesh line, for the checks that need the whole file (vertex j of mesh m sits
  // on MeshLines[m] + 2 + j).
  std::vector<int> MeshLines;

  // False when the file ends inside the block: reading stops there.
  bool ReadBlock(std::string_view Line, const TBlock& Block) {
    const int Count = Text.CheckedCount(
        Text.ToInteger(WithoutAll(Line, Block.Header), Block.Count), Block.Count);
    for (int I = 0; I < Count; ++I)
      if (Text.AtEnd() || !(this->*Block.AddEntry)()) return false;
    return true;
  }

  bool AddMesh() {
    const std::string MeshLine = WithoutQuotes(Text.ReadLine());
    if (Text.AtEnd()) return false;
    const std::size_t NameEnd = MeshLine.find(' ');
    const std::string_view Rest = NameEnd == std::string::npos
                                      ? std::string_view()
                                      : std::string_view(MeshLine).substr(NameEnd + 1);
    const std::size_t FlagsEnd = Rest.find(' ');
    Text.ToInteger(Rest.substr(0, FlagsEnd), "the mesh flags");
    const int Material = Text.ToInteger(
        FlagsEnd == std::string_view::npos ? std::string_view() : Rest.substr(FlagsEnd + 1),
        "the mesh's material index");
    Model.FMeshes.push_back(std::make_unique<TShape>());
    Model.FMaterialIndices.push_back(Material);
    MeshLines.push_back(Text.LineNumber());
    return ReadShape(Text, *Model.FMeshes.back());
  }

  // The caustic frames load before the material's lines are read, its colour map after them.
  bool AddMaterial() {
    Model.FMaterials.push_back(std::make_unique<TMaterial>(Model.FCaustics));
    TMaterial& Material = *Model.FMaterials.back();
    const bool Load = Textures == TModel::TTextures::Load;
    if (Load) Material.LoadCausticFrames();
    if (!ReadMaterial(Text, Material)) return false;
    if (Load) Material.LoadTextureFile();
    return true;
  }

  bool AddBone() {
    Model.FBones.push_back(std::make_unique<TBone>());
    return ReadBone(Text, *Model.FBones.back());
  }

  // Drawing indexes the material and bone lists with what the meshes hold: refuse what would
  // point outside them, whichever order the blocks came in.
  void CheckIndices() const {
    for (int M = 0; M < Model.MeshCount(); ++M) {
      const int Line = MeshLines[std::size_t(M)];
      const int Material = Model.FMaterialIndices[std::size_t(M)];
      if (Material >= Model.MaterialCount())
        Text.FailAt(Line, "mesh " + std::to_string(M) + " uses material " +
                              std::to_string(Material) + ", but the file defines " +
                              std::to_string(Model.MaterialCount()) + " materials");
      const std::vector<TVec>& Vertices = Model.FMeshes[std::size_t(M)]->Vertices;
      for (std::size_t V = 0; V < Vertices.size(); ++V) {
        const int Bone = Vertices[V].BoneIndex;
        if (Bone != -1 && (Bone < 0 || Bone >= Model.BoneCount()))
          Text.FailAt(Line + 2 + int(V), "the vertex is bound to bone " + std::to_string(Bone) +
                                             ", but the file defines " +
                                             std::to_string(Model.BoneCount()) + " bones");
      }
    }
  }
};

void TMaterial::LoadCausticFrames() {
  if (!Caustics) return;
  for (int K = 0; K < CausticFrameCount; ++K)
    LoadTexture(MapPath(std::string(DataPrefix) + "Vadrel" + std::to_string(100 + K) + ".bmp"),
                CausticTextures[std::size_t(K)]);
}

void TMaterial::LoadTextureFile() {
  Texture = 0;
  if (!TextureFile.empty()) {
    const std::string AsWritten = MapPath(TextureFile);
    if (FileExists(AsWritten))
      LoadTexture(AsWritten, Texture);
    else
      LoadTexture(MapPath(std::string(DataPrefix) + TextureFile), Texture);
  }
  // Texture 0 leaves texturing off; a caustic frame that failed to load leaves alpha alone.
  Opaque = Texture == 0 || !TextureHasAlpha(Texture);
  if (Caustics)
    for (const std::uint32_t Frame : CausticTextures)
      Opaque = Opaque && (Frame == 0 || !TextureHasAlpha(Frame));
}

TModel::TModel(bool Caustics) : FCaustics(Caustics), FShared(std::make_shared<TShared>()) {
  ExtOpenGL::LoadEntryPoints();
}

bool TModel::LoadFromFile(const std::string& FileName) {
  std::vector<std::uint8_t> Bytes;
  errno = 0;
  if (!ReadWholeFile(FileName, Bytes)) {
    const int Error = errno;
    throw EModelError(FileName, 0,
                      std::string("cannot read the file: ") +
                          (Error ? std::strerror(Error) : "read error"));
  }
  return LoadFromMemory(FileName, Bytes, TTextures::Load);
}

bool TModel::LoadFromMemory(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                            TTextures Textures) {
  assert(FMeshes.empty() && FMaterials.empty() && FBones.empty() &&
         "TModel needs a freshly created model to read into");
  FFileName = FileName;
  FCurrentFrame = 0;
  try {
    const float StartFrame = TModelReader(*this, FileName, Bytes, Textures).Read();
    FindClosedMeshes();  // from the file's own positions, before they move into bone space
    if (!LinkParents()) return false;
    SetupBones();
    BindVertices();
    Advance(StartFrame);
    return true;
  } catch (...) {
    Clear();
    throw;
  }
}

// A parent name means the first bone of that name. Looked up by hash, so that a file of many bones
// links in time proportional to its size.
bool TModel::LinkParents() {
  std::unordered_map<std::string_view, const TBone*> First;
  First.reserve(FBones.size());
  for (const auto& Bone : FBones) First.try_emplace(Bone->Name, Bone.get());
  for (const auto& Bone : FBones) {
    Bone->Parent = nullptr;
    if (Bone->ParentName.empty()) continue;
    const auto Found = First.find(Bone->ParentName);
    if (Found == First.end()) return false;
    Bone->Parent = Found->second;
  }
  return true;
}

void TModel::FindClosedMeshes() {
  FClosed.assign(FMeshes.size(), false);
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    const TShape& Shape = *FMeshes[M];
    // Corners that share a position and a bone are posed alike, so they are one point.
    std::map<std::tuple<float, float, float, int>, std::uint32_t> Points;
    std::vector<std::uint32_t> Point(Shape.Vertices.size());
    for (std::size_t V = 0; V < Shape.Vertices.size(); ++V) {
      const TVec& W = Shape.Vertices[V];
      Point[V] = Points.try_emplace({W.X, W.Y, W.Z, W.BoneIndex}, std::uint32_t(Points.size()))
                     .first->second;
    }
    std::unordered_map<std::uint64_t, int> Edges;  // directed edge (from, to): how many run so
    const auto Edge = [](std::uint32_t From, std::uint32_t To) {
      return std::uint64_t(From) << 32 | To;
    };
    double Volume = 0;
    for (const TTri& Triangle : Shape.Triangles) {
      std::array<std::uint32_t, 3> P;
      for (int C = 0; C < 3; ++C) P[C] = Point[std::size_t(Triangle.VertexIndices[C])];
      if (P[0] == P[1] || P[1] == P[2] || P[2] == P[0]) continue;  // covers no pixel
      for (int C = 0; C < 3; ++C) ++Edges[Edge(P[C], P[(C + 1) % 3])];
      const TVec& A = Shape.Vertices[std::size_t(Triangle.VertexIndices[0])];
      const TVec& B = Shape.Vertices[std::size_t(Triangle.VertexIndices[1])];
      const TVec& C = Shape.Vertices[std::size_t(Triangle.VertexIndices[2])];
      Volume += double(A.X) * (double(B.Y) * C.Z - double(B.Z) * C.Y) -
                double(A.Y) * (double(B.X) * C.Z - double(B.Z) * C.X) +
                double(A.Z) * (double(B.X) * C.Y - double(B.Y) * C.X);
    }
    bool Closed = !Edges.empty() && Volume > 0;
    for (auto It = Edges.begin(); Closed && It != Edges.end(); ++It) {
      const auto Back = Edges.find(Edge(std::uint32_t(It->first), std::uint32_t(It->first >> 32)));
      Closed = It->second == 1 && Back != Edges.end() && Back->second == 1;
    }
    FClosed[M] = Closed;
  }
}

std::size_t TModel::TriangleCount() const {
  std::size_t Count = 0;
  for (const auto& Shape : FMeshes) Count += Shape->Triangles.size();
  return Count;
}

bool TModel::IsClosed(int Index) const {
  assert(Index >= 0 && Index < MeshCount() && "mesh index out of range");
  return FClosed[std::size_t(Index)];
}

void TModel::Clear() {
  FClosed.clear();
  FMeshes.clear();
  FMaterialIndices.clear();
  FMaterials.clear();
  FBones.clear();
  FTotalFrames = 0;
  FCurrentFrame = 0;
}

const TShape& TModel::Mesh(int Index) const {
  assert(Index >= 0 && Index < MeshCount() && "mesh index out of range");
  return *FMeshes[std::size_t(Index)];
}

int TModel::MaterialIndex(int MeshIndex) const {
  assert(MeshIndex >= 0 && MeshIndex < MeshCount() && "mesh index out of range");
  return FMaterialIndices[std::size_t(MeshIndex)];
}

const TMaterial& TModel::Material(int Index) const {
  assert(Index >= 0 && Index < MaterialCount() && "material index out of range");
  return *FMaterials[std::size_t(Index)];
}

const TBone& TModel::Bone(int Index) const {
  assert(Index >= 0 && Index < BoneCount() && "bone index out of range");
  return *FBones[std::size_t(Index)];
}

// ---- Skeleton and animation -----------------------------------------------------------------

namespace {

void SetLocal(TMatrix& M, const float (&Angles)[3], const float (&Offset)[3]) {
  M.SetRotation(Angles);
  M.SetTranslation(Offset);
}

// Absolute := Parent's Absolute x Local, or Local for a root bone.
void SetAbsolute(TMatrix& Absolute, const TBone* Parent, const TMatrix& Local) {
  if (!Parent) {
    Absolute = Local;
    return;
  }
  Absolute = Parent->Absolute;  // Parent may be this very bone: copy before multiplying
  Absolute.PostMultiply(Local);
}

std::array<float, 3> Evaluate(const std::vector<TKeyFrame>& Keys, float Time, const TBone& Bone,
                              const char* Track, int EmptyCheck, int OrderCheck) {
  const std::size_t N = Keys.size();
  std::size_t I = 0;
  while (I + 1 < N && Keys[I].Time < Time) ++I;
  if (I >= N)
    throw EModelError({}, Bone.SourceLine,
                      Assertion(EmptyCheck) + "bone " + Quoted(Bone.Name) + " has no " + Track +
                          " keys");
  if (I == 0) return Keys[0].Value;
  const TKeyFrame& From = Keys[I - 1];
  const TKeyFrame& To = Keys[I];
  const float D = float(double(To.Time) - double(From.Time));
  if (!(D > 0.0f))
    throw EModelError({}, Bone.SourceLine,
                      Assertion(OrderCheck) + "bone " + Quoted(Bone.Name) + ": the times of " +
                          Track + " keys " + std::to_string(I - 1) + " and " + std::to_string(I) +
                          " do not increase");
  float F = float((double(Time) - double(From.Time)) / double(D));
  if (F > 1.0f) F = 1.0f;
  std::array<float, 3> Result;
  for (std::size_t J = 0; J < 3; ++J)
    Result[J] = float((double(To.Value[J]) - double(From.Value[J])) * double(F) +
                      double(From.Value[J]));
  return Result;
}

}  // namespace

std::array<float, 3> TBone::PositionAt(float Time) const {
  return Evaluate(PositionKeys, Time, *this, "position", 683, 693);
}

std::array<float, 3> TBone::RotationAt(float Time) const {
  return Evaluate(RotationKeys, Time, *this, "rotation", 723, 731);
}

void TBone::Setup() {
  TMatrix Local;
  SetLocal(Local, Rotation, Position);
  SetAbsolute(Absolute, Parent, Local);
}

void TBone::Animate(float Time) {
  const std::array<float, 3> P = PositionAt(Time);
  const std::array<float, 3> Q = RotationAt(Time);
  const float Offset[3] = {P[0], P[1], P[2]};
  const float Angles[3] = {Q[0], Q[1], Q[2]};
  TMatrix Local, Key;
  SetLocal(Local, Rotation, Position);
  SetLocal(Key, Angles, Offset);
  Local.PostMultiply(Key);
  SetAbsolute(Absolute, Parent, Local);
}

void TModel::SetupBones() {
  for (const auto& Bone : FBones) Bone->Setup();
}

void TModel::BindVertices() {
  for (const auto& Shape : FMeshes)
    for (TVec& Vertex : Shape->Vertices) {
      if (Vertex.BoneIndex == -1) continue;
      const TMatrix& A = FBones[std::size_t(Vertex.BoneIndex)]->Absolute;
      float P[3] = {Vertex.X, Vertex.Y, Vertex.Z};
      A.ApplyInverseTranslation(P);
      A.ApplyInverseRotation(P);
      Vertex.X = P[0];
      Vertex.Y = P[1];
      Vertex.Z = P[2];
    }
}

void TModel::Advance(float Frames) {
  FCurrentFrame += Frames;
  if (FCurrentFrame > FTotalFrames) FCurrentFrame = 1.0f;
  PoseAt(FCurrentFrame);
}

void TModel::PoseAt(float Frame) {
  FCurrentFrame = Frame;
  try {
    for (const auto& Bone : FBones) Bone->Animate(FCurrentFrame);
  } catch (const EModelError& Error) {
    throw EModelError(FFileName, Error.Line(), Error.Reason());
  }
}

// ---- Drawing --------------------------------------------------------------------------------

void TMaterial::Apply() {
  glMaterialfv(GL_FRONT, GL_AMBIENT, Ambient.data());
  glMaterialfv(GL_FRONT, GL_DIFFUSE, Diffuse.data());
  glMaterialfv(GL_FRONT, GL_SPECULAR, Specular.data());
  glMaterialfv(GL_FRONT, GL_EMISSION, Emissive.data());
  glMaterialf(GL_FRONT, GL_SHININESS, Shininess);
  if (Texture == 0) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glBindTexture(GL_TEXTURE_2D, Texture);
  glEnable(GL_TEXTURE_2D);
  // Without a second unit there is no caustic layer, and its frame does not move.
  if (!Caustics || !ExtOpenGL::HasMultitexture()) return;
  ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
  glBindTexture(GL_TEXTURE_2D, CausticTextures[std::size_t(CausticFrame)]);
  glEnable(GL_TEXTURE_2D);
  if (++CausticFrame >= CausticFrameCount) CausticFrame = 0;
}

void TModel::Draw(TBackFaces BackFaces) {
  if (FReferencePath)
    DrawImmediate();
  else
    DrawFromArrays(BackFaces);
}

std::array<float, 3> TModel::Placed(const TVec& Vertex) const {
  float P[3] = {Vertex.X, Vertex.Y, Vertex.Z};
  if (Vertex.BoneIndex != -1) {
    const TMatrix& A = FBones[std::size_t(Vertex.BoneIndex)]->Absolute;
    A.ApplyRotation(P);
    A.ApplyTranslation(P);
  }
  return {P[0], P[1], P[2]};
}

void TModel::ApplyMaterialOf(std::size_t Mesh) {
  const int Material = FMaterialIndices[Mesh];
  if (Material < 0)
    glDisable(GL_TEXTURE_2D);
  else
    FMaterials[std::size_t(Material)]->Apply();
}

void TModel::DrawImmediate() {
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    ApplyMaterialOf(M);
    const TShape& Shape = *FMeshes[M];
    glBegin(GL_TRIANGLES);
    for (const TTri& Triangle : Shape.Triangles)
      for (int Corner = 0; Corner < 3; ++Corner) {
        const TNormal& N = Shape.Normals[std::size_t(Triangle.NormalIndices[Corner])];
        glNormal3f(N.X, N.Y, N.Z);
        const TVec& W = Shape.Vertices[std::size_t(Triangle.VertexIndices[Corner])];
        ExtOpenGL::MultiTexCoord2f(GL_TEXTURE0_ARB, W.U, W.V);
        if (FCaustics) ExtOpenGL::MultiTexCoord2f(GL_TEXTURE1_ARB, W.U, W.V);
        if (W.BoneIndex == -1) {
          glVertex3f(W.X, W.Y, W.Z);
          continue;
        }
        glVertex3fv(Placed(W).data());
      }
    glEnd();
  }
}

// ---- Drawing from vertex arrays -------------------------------------------------------------

namespace {

// A texture's base level as 8-bit RGBA rows, bottom row first; empty when it has none. Leaves
// the texture bound.
TImage ReadBackTexture(GLuint Texture) {
  GLint Width = 0, Height = 0;
  glBindTexture(GL_TEXTURE_2D, Texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &Width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &Height);
  TImage Image;
  if (Width > 0 && Height > 0) {
    Image.Width = std::uint32_t(Width);
    Image.Height = std::uint32_t(Height);
    Image.Format = TPixelFormat::RGBA;
    Image.RowBytes = std::size_t(Width) * 4;
    Image.Pixels.resize(Image.RowBytes * std::size_t(Height));
    GLint Alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &Alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, Image.Pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, Alignment);
  }
  return Image;
}

// Where the linear filter reads a picture of Light texels along one axis, at the texel centres of
// a picture of Size texels laid over the same texture coordinates (repeating at the edges): per
// texel, the two texels read and the weight of the second.
struct TTaps {
  std::vector<std::uint32_t> First, Second;
  std::vector<float> Weight;

  TTaps(std::uint32_t Size, std::uint32_t Light) {
    for (std::uint32_t I = 0; I < Size; ++I) {
      const double At = (I + 0.5) / Size * Light - 0.5, Below = std::floor(At);
      const long long N = Light, K = static_cast<long long>(Below) % N;
      First.push_back(std::uint32_t(K < 0 ? K + N : K));
      Second.push_back(std::uint32_t((First.back() + 1) % Light));
      Weight.push_back(float(At - Below));
    }
  }
};

// The rows of Light (RGBA) filtered across at the texel centres of a row Width texels wide, per
// texel R, G and B: the two-dimensional filter's first step, with its arithmetic, so the product
// is the same to the bit. Each light row serves several rows of the product, which ask for them
// in order: the two rows last asked for are kept (a pointer given stays valid until a third row
// is asked for), and a row is filtered again only when it comes back after others.
class TLightAcross {
public:
  TLightAcross(const TImage& Light, std::uint32_t Width)
      : FLight(Light), FAcross(Width, Light.Width), FWidth(Width) {}

  const float* Row(std::uint32_t Y) {
    for (std::size_t K = 0; K < FKept.size(); ++K)
      if (FKept[K].Y == Y) {
        FNext = K ^ 1;  // the other row goes first
        return FKept[K].Values.data();
      }
    TRow& Row = FKept[FNext];
    FNext ^= 1;
    Row.Y = Y;
    Row.Values.resize(std::size_t(FWidth) * 3);
    const std::uint8_t* In = &FLight.Pixels[Y * FLight.RowBytes];
    float* Out = Row.Values.data();
    for (std::uint32_t X = 0; X < FWidth; ++X) {
      const std::size_t I = FAcross.First[X] * 4, J = FAcross.Second[X] * 4;
      const float U = FAcross.Weight[X];
      for (std::size_t C = 0; C < 3; ++C) *Out++ = In[I + C] * (1 - U) + In[J + C] * U;
    }
    return Row.Values.data();
  }

private:
  struct TRow {
    std::int64_t Y = -1;
    std::vector<float> Values;
  };
  const TImage& FLight;
  const TTaps FAcross;
  const std::uint32_t FWidth;
  std::array<TRow, 2> FKept;
  std::size_t FNext = 0;
};

}  // namespace

// A colour map multiplied, texel by texel at its own size, by each caustic frame as the linear
// filter samples it there: one texture for unit 0 in place of the colour map on unit 0 modulated
// by the frame on unit 1. The two differ only where both pictures change within one texel of the
// colour map (a few grey levels at the sharpest caustic edges) and by the rounding of the
// product to 8 bits, and the rasteriser samples one texture instead of two.
struct TModel::TLitTextures {
  std::array<GLuint, TMaterial::CausticFrameCount> Frames{};

  // Nothing when the material has no colour map, a frame is missing or any of them has alpha.
  // Needs unit 0 active; leaves its binding changed (BuildLitTextures puts it back).
  static std::unique_ptr<TLitTextures> Make(const TMaterial& Material) {
    if (!Material.Caustics || !Material.Opaque || Material.Texture == 0) return nullptr;
    for (const std::uint32_t Frame : Material.CausticTextures)
      if (Frame == 0) return nullptr;
    const TImage Colour = ReadBackTexture(Material.Texture);
    if (Colour.Pixels.empty()) return nullptr;
    auto Lit = std::make_unique<TLitTextures>();
    TImage Product;
    Product.Width = Colour.Width;
    Product.Height = Colour.Height;
    Product.Format = TPixelFormat::RGB;
    Product.RowBytes = (std::size_t(Colour.Width) * 3 + 3) & ~std::size_t(3);
    Product.Pixels.resize(Product.RowBytes * Colour.Height);
    for (std::size_t K = 0; K < Lit->Frames.size(); ++K) {
      const TImage Light = ReadBackTexture(Material.CausticTextures[K]);
      if (Light.Pixels.empty()) return nullptr;
      const TTaps Along(Colour.Height, Light.Height);
      TLightAcross Across(Light, Colour.Width);
      for (std::uint32_t Y = 0; Y < Colour.Height; ++Y) {
        const float* Row[2] = {Across.Row(Along.First[Y]), Across.Row(Along.Second[Y])};
        const float V = Along.Weight[Y];
        for (std::size_t X = 0; X < Colour.Width; ++X)
          for (std::size_t C = 0; C < 3; ++C) {
            const float Lighting = Row[0][X * 3 + C] * (1 - V) + Row[1][X * 3 + C] * V;
            const float Texel = Colour.Pixels[Y * Colour.RowBytes + X * 4 + C];
            Product.Pixels[Y * Product.RowBytes + X * 3 + C] =
                std::uint8_t(Texel * Lighting / 255.0f + 0.5f);
          }
      }
      Lit->Frames[K] = CreateTexture(Product);
    }
    return Lit;
  }

  // No destructor: like the colour maps and caustic frames, the textures belong to the share
  // group they were made in and go with its last context. Deleting them here could take them from
  // another view of the group still drawing with them, or, with another group's context current
  // (or none), that group's textures of the same names.
};

// Per mesh: one array slot for each distinct (vertex, normal) pair its corners use, so that one
// index addresses all of a corner's values. Fixed once the model is loaded.
namespace {
struct TArrayLayout {
  struct TMesh {
    std::vector<int> Source;               // per slot: the mesh vertex it shows
    bool SlotsAreVertices = false;         // Source[i] == i for every slot: no gathering
    std::vector<float> Normals;            // per slot: x, y, z
    std::vector<float> TexCoords;          // per slot: u, v (both units)
    std::vector<GLuint> Indices;           // per corner, in the file's order
    std::array<float, 5> Last{};           // the last corner's normal and texture coordinates
  };
  std::vector<TMesh> Meshes;
};
}  // namespace

// What every instance of one load draws with. Built on first use by whichever draws first: both
// depend on the loaded model alone, so every instance would build the same.
struct TModel::TShared {
  std::unique_ptr<const TArrayLayout> Layout;
  bool LitBuilt = false;
  // Per material with caustics: its colour map lit by each caustic frame (see TLitTextures), or
  // none where that cannot stand in for the two units.
  std::vector<std::unique_ptr<TLitTextures>> Lit;
};

// One instance's positions, posed once per pose, per vertex.
struct TModel::TDrawArrays {
  struct TMesh {
    std::vector<float> Posed;              // per mesh vertex: x, y, z in the current pose
    std::vector<float> Positions;          // per slot, gathered from Posed (unless the same)
  };
  std::vector<TMesh> Meshes;
  bool Posed = false;
  float PosedFrame = 0;  // the pose depends on the current frame alone
};

TModel::~TModel() = default;

std::unique_ptr<TModel> TModel::Instance() const {
  auto Copy = std::make_unique<TModel>(FCaustics);
  Copy->FFileName = FFileName;
  Copy->FTotalFrames = FTotalFrames;
  Copy->FCurrentFrame = FCurrentFrame;
  Copy->FMeshes = FMeshes;
  Copy->FMaterialIndices = FMaterialIndices;
  for (const auto& Material : FMaterials) Copy->FMaterials.push_back(std::make_unique<TMaterial>(*Material));
  std::unordered_map<const TBone*, const TBone*> Moved;  // each bone here to its copy
  for (const auto& Bone : FBones) {
    Copy->FBones.push_back(std::make_unique<TBone>(*Bone));
    Moved.emplace(Bone.get(), Copy->FBones.back().get());
  }
  for (const auto& Bone : Copy->FBones)
    if (Bone->Parent) Bone->Parent = Moved.at(Bone->Parent);
  Copy->FReferencePath = FReferencePath;
  Copy->FLitTextures = FLitTextures;
  Copy->FShared = FShared;
  Copy->FClosed = FClosed;
  return Copy;
}

TLoadedModel LoadModelFile(const std::string& FileName, bool Caustics) {
  TLoadedModel Loaded{std::make_unique<TModel>(Caustics), false};
  Loaded.Linked = Loaded.Model->LoadFromFile(FileName);
  return Loaded;
}

void TModel::BuildLayout() {
  auto Layout = std::make_unique<TArrayLayout>();
  Layout->Meshes.resize(FMeshes.size());
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    const TShape& Shape = *FMeshes[M];
    TArrayLayout::TMesh& A = Layout->Meshes[M];
    std::vector<std::vector<std::pair<int, GLuint>>> SlotsOfVertex(Shape.Vertices.size());
    for (const TTri& Triangle : Shape.Triangles)
      for (int Corner = 0; Corner < 3; ++Corner) {
        const int V = Triangle.VertexIndices[Corner], N = Triangle.NormalIndices[Corner];
        auto& Known = SlotsOfVertex[std::size_t(V)];
        auto Found = std::find_if(Known.begin(), Known.end(), [N](auto& P) { return P.first == N; });
        if (Found == Known.end()) {
          Known.emplace_back(N, GLuint(A.Source.size()));
          Found = Known.end() - 1;
          A.Source.push_back(V);
          const TNormal& Normal = Shape.Normals[std::size_t(N)];
          A.Normals.insert(A.Normals.end(), {Normal.X, Normal.Y, Normal.Z});
          const TVec& W = Shape.Vertices[std::size_t(V)];
          A.TexCoords.insert(A.TexCoords.end(), {W.U, W.V});
        }
        A.Indices.push_back(Found->second);
        const TNormal& Normal = Shape.Normals[std::size_t(N)];
        const TVec& W = Shape.Vertices[std::size_t(V)];
        A.Last = {Normal.X, Normal.Y, Normal.Z, W.U, W.V};
      }
    A.SlotsAreVertices = A.Source.size() == Shape.Vertices.size();
    for (std::size_t Slot = 0; A.SlotsAreVertices && Slot < A.Source.size(); ++Slot)
      A.SlotsAreVertices = A.Source[Slot] == int(Slot);
  }
  FShared->Layout = std::move(Layout);
}

void TModel::MakePoseArrays() {
  FArrays = std::make_unique<TDrawArrays>();
  FArrays->Meshes.resize(FMeshes.size());
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    const TArrayLayout::TMesh& Layout = FShared->Layout->Meshes[M];
    TDrawArrays::TMesh& A = FArrays->Meshes[M];
    A.Posed.resize(FMeshes[M]->Vertices.size() * 3);
    if (!Layout.SlotsAreVertices) A.Positions.resize(Layout.Source.size() * 3);
  }
}

void TModel::PoseArrays() {
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    const TShape& Shape = *FMeshes[M];
    const TArrayLayout::TMesh& Layout = FShared->Layout->Meshes[M];
    TDrawArrays::TMesh& A = FArrays->Meshes[M];
    // Exactly the immediate path's arithmetic, once per vertex instead of once per corner.
    for (std::size_t V = 0; V < Shape.Vertices.size(); ++V) {
      const std::array<float, 3> P = Placed(Shape.Vertices[V]);
      std::copy(P.begin(), P.end(), A.Posed.begin() + std::ptrdiff_t(V * 3));
    }
    if (Layout.SlotsAreVertices) continue;
    for (std::size_t Slot = 0; Slot < Layout.Source.size(); ++Slot)
      std::copy_n(A.Posed.begin() + Layout.Source[Slot] * 3, 3,
                  A.Positions.begin() + std::ptrdiff_t(Slot * 3));
  }
  FArrays->Posed = true;
  FArrays->PosedFrame = FCurrentFrame;
}

namespace {

// Culling of back faces as Draw finds it, to be put back afterwards.
struct TCulling {
  GLboolean Enabled = glIsEnabled(GL_CULL_FACE);
  GLint Mode = GL_BACK, FrontFace = GL_CCW;
  TCulling() {
    glGetIntegerv(GL_CULL_FACE_MODE, &Mode);
    glGetIntegerv(GL_FRONT_FACE, &FrontFace);
  }
};

void SetEnabled(GLenum Capability, bool Enabled) {
  if (Enabled)
    glEnable(Capability);
  else
    glDisable(Capability);
}

}  // namespace

void TModel::BuildLitTextures() {
  GLint Active = GL_TEXTURE0_ARB, Bound = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &Active);
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
  FShared->Lit.clear();
  for (const auto& Material : FMaterials) FShared->Lit.push_back(TLitTextures::Make(*Material));
  FShared->LitBuilt = true;
  glBindTexture(GL_TEXTURE_2D, GLuint(Bound));
  ExtOpenGL::ActiveTexture(GLenum(Active));
}

namespace {

// The client arrays of a draw from arrays: vertices, normals and texture coordinates on unit 0
// and, with SecondUnit, on unit 1; turned off again, unit 0 is left the client unit.
void SetClientArrays(bool SecondUnit, bool Enabled) {
  const auto Set = [Enabled](GLenum Array) {
    if (Enabled)
      glEnableClientState(Array);
    else
      glDisableClientState(Array);
  };
  Set(GL_VERTEX_ARRAY);
  Set(GL_NORMAL_ARRAY);
  for (const GLenum Unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
    if (Unit == GL_TEXTURE1_ARB && !SecondUnit) continue;
    ExtOpenGL::ClientActiveTexture(Unit);
    Set(GL_TEXTURE_COORD_ARRAY);
  }
}

}  // namespace

void TModel::DrawFromArrays(TBackFaces BackFaces) {
  if (!FShared->Layout) BuildLayout();
  if (!FArrays) MakePoseArrays();
  if (!FArrays->Posed || FArrays->PosedFrame != FCurrentFrame) PoseArrays();
  const bool SecondUnit = FCaustics && ExtOpenGL::HasMultitexture();
  const bool Lit = SecondUnit && FLitTextures;
  if (Lit && !FShared->LitBuilt) BuildLitTextures();
  SetClientArrays(SecondUnit, true);
  const bool AlphaTest = glIsEnabled(GL_ALPHA_TEST), SkipAlphaTest = AlphaTestPassesCurrentColour();
  // The caller's own culling, or faces wound the other way round, are left as they are.
  const TCulling Culling;
  const bool SkipBackFaces = BackFaces == TBackFaces::SkipOnClosedMeshes && !Culling.Enabled &&
                             Culling.FrontFace == GL_CCW;
  if (SkipBackFaces) glCullFace(GL_BACK);
  for (std::size_t M = 0; M < FMeshes.size(); ++M) {
    ApplyMaterialOf(M);
    if (FShared->Layout->Meshes[M].Indices.empty()) continue;
    const int Material = FMaterialIndices[M];
    if (SkipAlphaTest)
      SetEnabled(GL_ALPHA_TEST, Material >= 0 && !FMaterials[std::size_t(Material)]->Opaque);
    if (SkipBackFaces) SetEnabled(GL_CULL_FACE, FClosed[M]);
    DrawMeshFromArrays(M, SecondUnit,
                       Lit && Material >= 0 ? FShared->Lit[std::size_t(Material)].get() : nullptr);
  }
  SetClientArrays(SecondUnit, false);
  SetEnabled(GL_ALPHA_TEST, AlphaTest);
  if (SkipBackFaces) {
    glDisable(GL_CULL_FACE);
    glCullFace(GLenum(Culling.Mode));
  }
}

void TModel::DrawMeshFromArrays(std::size_t M, bool SecondUnit, const TLitTextures* Lit) {
  const TArrayLayout::TMesh& A = FShared->Layout->Meshes[M];
  const TDrawArrays::TMesh& Pose = FArrays->Meshes[M];
  glVertexPointer(3, GL_FLOAT, 0, A.SlotsAreVertices ? Pose.Posed.data() : Pose.Positions.data());
  glNormalPointer(GL_FLOAT, 0, A.Normals.data());
  for (const GLenum Unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
    if (Unit == GL_TEXTURE1_ARB && !SecondUnit) continue;
    ExtOpenGL::ClientActiveTexture(Unit);
    glTexCoordPointer(2, GL_FLOAT, 0, A.TexCoords.data());
  }
  const TMaterial* Applied = Lit ? FMaterials[std::size_t(FMaterialIndices[M])].get() : nullptr;
  if (Applied) {
    // The frame Apply has just bound, lit into one texture; the caustic unit rests meanwhile.
    const int Shown = (Applied->CausticFrame + TMaterial::CausticFrameCount - 1) %
                      TMaterial::CausticFrameCount;
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, Lit->Frames[std::size_t(Shown)]);
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
  }
  glDrawElements(GL_TRIANGLES, GLsizei(A.Indices.size()), GL_UNSIGNED_INT, A.Indices.data());
  if (Applied) {  // back to what Apply left
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, Applied->Texture);
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
  }
  // What the immediate path leaves current: the last corner's normal and coordinates.
  glNormal3f(A.Last[0], A.Last[1], A.Last[2]);
  ExtOpenGL::MultiTexCoord2f(GL_TEXTURE0_ARB, A.Last[3], A.Last[4]);
  if (FCaustics) ExtOpenGL::MultiTexCoord2f(GL_TEXTURE1_ARB, A.Last[3], A.Last[4]);
}
