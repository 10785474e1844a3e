#include "Pointer.h"

#include <cstdlib>

bool TPointerRule::Far(TPoint From, TPoint To) {
  return std::abs(From.X - To.X) > ExitDistance && std::abs(From.Y - To.Y) > ExitDistance;
}

bool TPointerRule::Read(TPoint Position) {
  if (!FStart) {
    FStart = Position;
    return false;
  }
  return Far(*FStart, Position);
}

bool TPointerRule::Event(std::uint32_t Window, TPoint Position) {
  const auto [Start, First] = FWindowStarts.try_emplace(Window, Position);
  return !First && Far(Start->second, Position);
}
