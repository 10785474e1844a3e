#include "Vadrel.h"

#include "Platform.h"
#include "SceneHealth.h"
#include "Textures.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int VK_ESCAPE = 27;
constexpr const char* ConfigFile = "C:\\Vadrel_Data\\Vadrel.ini";
constexpr int ExitDistance = 30;  // pixels the cursor must leave on both axes at once

TPoint GetCursorPos() {
  TPoint P;
  SDL_GetGlobalMouseState(&P.X, &P.Y);
  return P;
}

TIniSource ReadIniSource(const std::string& Path) {
  TIniSource Source{Path, std::nullopt};
  std::vector<std::uint8_t> Bytes;
  if (!Path.empty() && ReadWholeFile(Path, Bytes)) Source.Text.emplace(Bytes.begin(), Bytes.end());
  return Source;
}

TWindowRequest WindowRequestFor(const TOptions& Options) {
  TWindowRequest Request;
  if (Options.Mode == TRunMode::Hack) {
    Request.Kind = TWindowKind::Foreign;
    Request.ForeignWindow = Options.WindowId.value_or(0);
  } else if (Options.Mode == TRunMode::Window) {
    Request.Kind = TWindowKind::Desktop;
    Request.Width = Options.Width;
    Request.Height = Options.Height;
  }
  return Request;
}

}  // namespace

TSettings LoadSettings(const TOptions& Options) {
  const TWorkedOutSettings Out = WorkOutSettings(Options, ReadIniSource(UserConfigFile()),
                                                 ReadIniSource(MapPath(ConfigFile)));
  for (const std::string& Line : Out.Diagnostics) ShowDiagnostic(Line);
  SetFullMipmapChains(Options.Reference);
  return Out.Settings;
}

TShell::TShell(const TOptions& Options, const TSettings& Settings)
    : Mode(Options.Mode), DelayMicroseconds(Options.DelayMicroseconds), FScene(Settings) {}

TShell::~TShell() {
  if (CursorHidden) SDL_ShowCursor(SDL_ENABLE);
  KillGLWindow();
  FScene.FreeScene();
}

bool TShell::CreateGLWindow(int PixelDepth, const TWindowRequest& Request) {
  Window = std::make_unique<TGLWindow>(PixelDepth, Request);
  if (!Window->Ok()) {
    ShowDiagnostic(Window->Error());
    KillGLWindow();
    return false;
  }
  FScene.ResizeScene(Window->Width(), Window->Height());
  FScene.InitScene();
  return true;
}

void TShell::KillGLWindow() { Window.reset(); }

void TShell::WndProc(const SDL_Event& Event) {
  switch (Event.type) {
    case SDL_WINDOWEVENT:
      if (Event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        FScene.ResizeScene(Event.window.data1, Event.window.data2);
      } else if (Event.window.event == SDL_WINDOWEVENT_CLOSE) {
        SDL_Event Quit{};
        Quit.type = SDL_QUIT;
        SDL_PushEvent(&Quit);
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int Key = VirtualKeyFromSDL(Event.key.keysym.sym);
      if (Key >= 0 && Key < int(Keys.size())) Keys[std::size_t(Key)] = Event.type == SDL_KEYDOWN;
      if (Key == VK_ESCAPE && Event.type == SDL_KEYDOWN) EscapePressed = true;
      break;
    }
    default:
      break;
  }
}

// The viewport follows a window someone else resizes. False when the window is gone.
bool TShell::FollowForeignWindow() {
  bool Resized = false;
  if (!Window->Follow(Resized)) return false;
  if (Resized) FScene.ResizeScene(Window->Width(), Window->Height());
  return true;
}

// The exit rules, tested at the end of each frame. The saver ends on Escape or a large mouse
// move, the desktop window on Escape; a hack leaves input to its daemon.
bool TShell::ExitRuleFired() {
  const bool Escape = Keys[VK_ESCAPE] || EscapePressed;
  EscapePressed = false;
  if (Mode == TRunMode::Hack) return false;
  if (Escape) return true;
  if (Mode != TRunMode::Saver) return false;
  CursorPos = GetCursorPos();
  return std::abs(StartCursorPos.X - CursorPos.X) > ExitDistance &&
         std::abs(StartCursorPos.Y - CursorPos.Y) > ExitDistance;
}

int TShell::Run() {
  CursorPos = GetCursorPos();
  StartCursorPos = CursorPos;
  CursorHidden = Mode == TRunMode::Saver;
  if (CursorHidden) SDL_ShowCursor(SDL_DISABLE);
  TSceneHealth Health;
  for (int Frame = 1; !StopRequested();) {
    SDL_Event Event;
    if (SDL_PollEvent(&Event)) {
      if (Event.type == SDL_QUIT) break;
      WndProc(Event);
      continue;
    }
    if (!FollowForeignWindow()) {
      ShowDiagnostic("the window it was drawing into is gone");
      break;
    }
    FScene.DrawScene();
    FScene.DrawFrameRate();
    Window->Swap();
    Health.AfterFrame(FScene, Frame++);
    if (ExitRuleFired()) break;
    SleepUnlessStopped(DelayMicroseconds);
  }
  return 0;
}

int WinMain(const TOptions& Options) {
  TShell Shell(Options, LoadSettings(Options));
  if (!Shell.CreateGLWindow(32, WindowRequestFor(Options))) return 1;
  return Shell.Run();
}
