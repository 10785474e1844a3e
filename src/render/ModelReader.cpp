#include "ModelReader.h"

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

// Drawing indexes the vertex and normal lists with a triangle's corners: refuse what would point
// outside them.
void CheckCorners(const TModelText& Text, const TTri& Triangle, const TShape& Shape) {
  const int Vertices = int(Shape.Vertices.size()), Normals = int(Shape.Normals.size());
  for (int Corner = 0; Corner < 3; ++Corner) {
    const int Index = Triangle.VertexIndices[Corner];
    if (Index < 0)
      Text.Fail(ModelAssertion(414 + 2 * Corner) + "corner " + std::to_string(Corner) +
                " refers to the negative vertex index " + std::to_string(Index));
    if (Index >= Vertices)
      Text.Fail(ModelAssertion(415 + 2 * Corner) + "corner " + std::to_string(Corner) +
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
}

// A triangle line, its corners checked against Shape's vertices and normals (all read by now).
TTri ReadTriangle(const TModelText& Text, TModelText::TFields Fields, const TShape& Shape) {
  TTri Triangle;
  Fields.Integer("the triangle flags");
  for (int& Index : Triangle.VertexIndices) Index = Fields.Integer("a triangle vertex index");
  for (int& Index : Triangle.NormalIndices) Index = Fields.Integer("a triangle normal index");
  Fields.Integer("the smoothing group");
  CheckCorners(Text, Triangle, Shape);
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

// One reading of a whole file into Model.
class TReader {
public:
  TReader(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
          bool WithCaustics, const TMaterialEvents& MaterialEvents)
      : Text(FileName, Bytes), Caustics(WithCaustics), Events(MaterialEvents) {}

  TModelData Read() {
    bool More = true;
    while (More && !Text.AtEnd()) More = ReadHeaderLine(Text.ReadLine());
    CheckIndices();
    return std::move(Model);
  }

private:
  // A block: its header line (the count follows it) and how one entry is created and read.
  struct TBlock {
    std::string_view Header;
    const char* Count;
    bool (TReader::*AddEntry)();
  };
  TModelText Text;
  bool Caustics;
  const TMaterialEvents& Events;
  TModelData Model;
  // The line of each mesh line, for the checks that need the whole file (vertex j of mesh m sits
  // on MeshLines[m] + 2 + j).
  std::vector<int> MeshLines;

  // A line between blocks: a frame header, a block's header (whose block it reads) or anything
  // else, skipped. False when the file ends inside a block.
  bool ReadHeaderLine(std::string_view Line) {
    static constexpr TBlock Blocks[] = {
        {"Meshes: ", "the mesh count", &TReader::AddMesh},
        {"Materials: ", "the material count", &TReader::AddMaterial},
        {"Bones: ", "the bone count", &TReader::AddBone},
    };
    if (StartsWith(Line, "//") || Line.empty()) return true;
    if (StartsWith(Line, "Frames:")) {
      Model.TotalFrames = float(Text.ToInteger(Line.substr(7), "the frame count"));
    } else if (StartsWith(Line, "Frame:")) {
      Model.StartFrame = float(Text.ToInteger(Line.substr(6), "the start frame"));
    } else {
      for (const TBlock& Block : Blocks)
        if (StartsWith(Line, Block.Header)) return ReadBlock(Line, Block);
    }
    return true;
  }

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
    Model.Meshes.push_back(std::make_shared<TShape>());
    Model.MaterialIndices.push_back(Material);
    MeshLines.push_back(Text.LineNumber());
    return ReadShape(Text, *Model.Meshes.back());
  }

  bool AddMaterial() {
    Model.Materials.push_back(std::make_unique<TMaterial>(Caustics));
    TMaterial& Material = *Model.Materials.back();
    if (Events.Started) Events.Started(Material);
    if (!ReadMaterial(Text, Material)) return false;
    if (Events.Completed) Events.Completed(Material);
    return true;
  }

  bool AddBone() {
    Model.Skeleton.Bones.push_back(std::make_unique<TBone>());
    return ReadBone(Text, *Model.Skeleton.Bones.back());
  }

  // Drawing indexes the material and bone lists with what the meshes hold: refuse what would
  // point outside them, whichever order the blocks came in.
  void CheckIndices() const {
    const int Materials = int(Model.Materials.size()), Bones = int(Model.Skeleton.Bones.size());
    for (std::size_t M = 0; M < Model.Meshes.size(); ++M) {
      const int Line = MeshLines[M];
      const int Material = Model.MaterialIndices[M];
      if (Material >= Materials)
        Text.FailAt(Line, "mesh " + std::to_string(M) + " uses material " +
                              std::to_string(Material) + ", but the file defines " +
                              std::to_string(Materials) + " materials");
      const std::vector<TVec>& Vertices = Model.Meshes[M]->Vertices;
      for (std::size_t V = 0; V < Vertices.size(); ++V) {
        const int Bone = Vertices[V].BoneIndex;
        if (Bone != -1 && (Bone < 0 || Bone >= Bones))
          Text.FailAt(Line + 2 + int(V), "the vertex is bound to bone " + std::to_string(Bone) +
                                             ", but the file defines " + std::to_string(Bones) +
                                             " bones");
      }
    }
  }
};

}  // namespace

TModelData ReadModel(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                     bool Caustics, const TMaterialEvents& Events) {
  return TReader(FileName, Bytes, Caustics, Events).Read();
}
