#include "Skeleton.h"

#include "ModelText.h"

#include <string_view>
#include <unordered_map>

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
                      ModelAssertion(EmptyCheck) + "bone " + Quoted(Bone.Name) + " has no " +
                          Track + " keys");
  if (I == 0) return Keys[0].Value;
  const TKeyFrame& From = Keys[I - 1];
  const TKeyFrame& To = Keys[I];
  const float D = float(double(To.Time) - double(From.Time));
  if (!(D > 0.0f))
    throw EModelError({}, Bone.SourceLine,
                      ModelAssertion(OrderCheck) + "bone " + Quoted(Bone.Name) +
                          ": the times of " + Track + " keys " + std::to_string(I - 1) + " and " +
                          std::to_string(I) + " do not increase");
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

TSkeleton::TSkeleton(const TSkeleton& Other) {
  std::unordered_map<const TBone*, const TBone*> Moved;  // each bone there to its copy here
  for (const auto& Bone : Other.Bones) {
    Bones.push_back(std::make_unique<TBone>(*Bone));
    Moved.emplace(Bone.get(), Bones.back().get());
  }
  for (const auto& Bone : Bones)
    if (Bone->Parent) Bone->Parent = Moved.at(Bone->Parent);
}

// Looked up by hash, so that a file of many bones links in time proportional to its size.
bool TSkeleton::LinkParents() {
  std::unordered_map<std::string_view, const TBone*> First;
  First.reserve(Bones.size());
  for (const auto& Bone : Bones) First.try_emplace(Bone->Name, Bone.get());
  for (const auto& Bone : Bones) {
    Bone->Parent = nullptr;
    if (Bone->ParentName.empty()) continue;
    const auto Found = First.find(Bone->ParentName);
    if (Found == First.end()) return false;
    Bone->Parent = Found->second;
  }
  return true;
}

void TSkeleton::Setup() {
  for (const auto& Bone : Bones) Bone->Setup();
}

void TSkeleton::Bind(std::vector<TVec>& Vertices) const {
  for (TVec& Vertex : Vertices) {
    if (Vertex.BoneIndex == -1) continue;
    const TMatrix& A = Bones[std::size_t(Vertex.BoneIndex)]->Absolute;
    float P[3] = {Vertex.X, Vertex.Y, Vertex.Z};
    A.ApplyInverseTranslation(P);
    A.ApplyInverseRotation(P);
    Vertex.X = P[0];
    Vertex.Y = P[1];
    Vertex.Z = P[2];
  }
}

void TSkeleton::Pose(float Frame) {
  for (const auto& Bone : Bones) Bone->Animate(Frame);
}

std::array<float, 3> TSkeleton::Placed(const TVec& Vertex) const {
  float P[3] = {Vertex.X, Vertex.Y, Vertex.Z};
  if (Vertex.BoneIndex != -1) {
    const TMatrix& A = Bones[std::size_t(Vertex.BoneIndex)]->Absolute;
    A.ApplyRotation(P);
    A.ApplyTranslation(P);
  }
  return {P[0], P[1], P[2]};
}
