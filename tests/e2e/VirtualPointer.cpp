// Test helper: a Wayland client that moves a virtual pointer, as a person's mouse would, through
// the compositor's zwlr_virtual_pointer_v1 protocol, spoken on the socket directly (Debian ships
// no description of that protocol to generate a client from).
//
// usage: virtual_pointer COMMAND...   with $WAYLAND_DISPLAY and $XDG_RUNTIME_DIR set
//   abs X Y W H   the pointer to (X, Y) of a W x H extent spanning every output
//   move DX DY    the pointer by (DX, DY) pixels
//   sleep MS      a pause
// Exit 0 when every command was sent and the compositor answered, 1 otherwise.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// One request or event: object id, then size (high 16 bits) and opcode, then 32-bit words.
class TMessage {
public:
  TMessage(std::uint32_t Object, std::uint16_t Opcode) : Words{Object, Opcode} {}
  TMessage& Uint(std::uint32_t V) {
    Words.push_back(V);
    return *this;
  }
  TMessage& Fixed(double V) { return Uint(std::uint32_t(std::int32_t(V * 256.0))); }
  TMessage& String(const std::string& S) {
    Uint(std::uint32_t(S.size() + 1));
    const std::size_t First = Words.size();
    Words.resize(First + (S.size() + 4) / 4, 0);  // the terminating zero and the padding
    std::copy(S.begin(), S.end(), reinterpret_cast<char*>(Words.data() + First));
    return *this;
  }
  bool Send(int Socket) {
    Words[1] |= std::uint32_t(Words.size() * 4) << 16;
    return write(Socket, Words.data(), Words.size() * 4) == ssize_t(Words.size() * 4);
  }

private:
  std::vector<std::uint32_t> Words;
};

struct TClient {
  int Socket = -1;
  std::uint32_t NextId = 2;
  std::uint32_t ManagerName = 0, SeatName = 0;

  bool Connect() {
    const char* Dir = std::getenv("XDG_RUNTIME_DIR");
    const char* Name = std::getenv("WAYLAND_DISPLAY");
    if (!Dir || !Name) return false;
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::snprintf(Address.sun_path, sizeof Address.sun_path, "%s/%s", Dir, Name);
    Socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return Socket >= 0 && connect(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == 0;
  }
  // wl_display.sync, then the events up to its callback's done; the registry's globals noted.
  bool Roundtrip(std::uint32_t Registry) {
    const std::uint32_t Callback = NextId++;
    if (!TMessage(1, 0).Uint(Callback).Send(Socket)) return false;
    for (;;) {
      std::uint32_t Head[2];
      if (read(Socket, Head, 8) != 8) return false;
      std::vector<std::uint32_t> Body((Head[1] >> 16) / 4 - 2);
      const ssize_t Bytes = ssize_t(Body.size() * 4);
      if (Bytes > 0 && read(Socket, Body.data(), std::size_t(Bytes)) != Bytes) return false;
      if (Head[0] == Callback) return true;
      if (Head[0] == 1 && (Head[1] & 0xFFFF) == 0) return false;  // wl_display.error
      if (Head[0] == Registry && (Head[1] & 0xFFFF) == 0 && Body.size() >= 3) {
        const std::string Interface(reinterpret_cast<const char*>(&Body[2]));
        if (Interface == "zwlr_virtual_pointer_manager_v1") ManagerName = Body[0];
        if (Interface == "wl_seat") SeatName = Body[0];
      }
    }
  }
  std::uint32_t Bind(std::uint32_t Registry, std::uint32_t Name, const char* Interface) {
    const std::uint32_t Id = NextId++;
    TMessage(Registry, 0).Uint(Name).String(Interface).Uint(1).Uint(Id).Send(Socket);
    return Id;
  }
};

std::uint32_t Now() {
  return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count());
}

// The commands of the command line, to the virtual pointer Pointer.
bool Run(TClient& C, std::uint32_t Pointer, int Count, char** Words) {
  for (int I = 0; I < Count; ++I) {
    const std::string Command = Words[I];
    const auto Arg = [&](int K) { return I + K < Count ? std::atof(Words[I + K]) : 0.0; };
    if (Command == "abs") {
      TMessage(Pointer, 1).Uint(Now()).Uint(std::uint32_t(Arg(1))).Uint(std::uint32_t(Arg(2)))
          .Uint(std::uint32_t(Arg(3))).Uint(std::uint32_t(Arg(4))).Send(C.Socket);
      I += 4;
    } else if (Command == "move") {
      TMessage(Pointer, 0).Uint(Now()).Fixed(Arg(1)).Fixed(Arg(2)).Send(C.Socket);
      I += 2;
    } else if (Command == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(long(Arg(1))));
      ++I;
      continue;
    } else {
      std::fprintf(stderr, "virtual_pointer: unknown command %s\n", Command.c_str());
      return false;
    }
    TMessage(Pointer, 4).Send(C.Socket);  // frame
  }
  return true;
}

}  // namespace

int main(int Argc, char** Argv) {
  TClient C;
  if (!C.Connect()) {
    std::fprintf(stderr, "virtual_pointer: cannot connect to the compositor\n");
    return 1;
  }
  const std::uint32_t Registry = C.NextId++;
  TMessage(1, 1).Uint(Registry).Send(C.Socket);  // wl_display.get_registry
  if (!C.Roundtrip(Registry) || !C.ManagerName) {
    std::fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointer\n");
    return 1;
  }
  const std::uint32_t Manager = C.Bind(Registry, C.ManagerName, "zwlr_virtual_pointer_manager_v1");
  const std::uint32_t Seat = C.SeatName ? C.Bind(Registry, C.SeatName, "wl_seat") : 0;
  const std::uint32_t Pointer = C.NextId++;
  TMessage(Manager, 0).Uint(Seat).Uint(Pointer).Send(C.Socket);  // create_virtual_pointer
  const bool Sent = Run(C, Pointer, Argc - 1, Argv + 1);
  return Sent && C.Roundtrip(Registry) ? 0 : 1;
}
