#include "Vadrel.h"

#include "Platform.h"
#include "SceneHealth.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int VK_ESCAPE = 27;
constexpr const char* ConfigFile = "C:\\Vadrel_Data\\Vadrel.ini";
// How often the screen saver looks at its monitors and at where its windows are, how long a view
// it made counts as on its monitor before it has got there, and how long a mismatch lasts before
// views are made or dropped for it: together well under the two seconds a monitor may go bare.
constexpr std::uint32_t MonitorLookMs = 150, ArrivalMs = 1500, SettleMs = 200;
constexpr int MaxRemakes = 3;  // rounds of making and dropping views for one layout

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
  return Out.Settings;
}

TShell::TShell(const TOptions& Options, const TSettings& RunSettings)
    : Mode(Options.Mode),
      DelayMicroseconds(Options.DelayMicroseconds),
      Settings(RunSettings),
      Assets(MipmapsFor(RunSettings)) {}

TShell::~TShell() {
  if (CursorHidden) SDL_ShowCursor(SDL_ENABLE);
  KillGLWindow();
  for (const std::unique_ptr<TView>& View : Views) View->Scene.FreeScene();
}

// The group's GL objects live while any context of it does: the assets are kept while a view's
// window is there to share with, and start again with a new group otherwise.
bool TShell::CreateGLWindow(int PixelDepth, const TWindowRequest& Request) {
  if (!MakeAnyViewCurrent()) Assets.Reset();
  auto View = std::make_unique<TView>(Settings, Assets);
  View->Window = std::make_unique<TGLWindow>(PixelDepth, Request);
  if (!View->Window->Ok()) {
    ShowDiagnostic(View->Window->Error());
    return false;
  }
  View->Scene.ResizeScene(View->Window->PixelWidth(), View->Window->PixelHeight());
  View->Scene.InitScene();
  Views.push_back(std::move(View));
  return true;
}

void TShell::KillGLWindow() {
  for (const std::unique_ptr<TView>& View : Views) View->Window.reset();
}

// A new context shares with the one current when it is made (see TGLWindow).
bool TShell::MakeAnyViewCurrent() {
  for (const std::unique_ptr<TView>& View : Views)
    if (View->Window && View->Window->MakeCurrent()) return true;
  return false;
}

// One view on every monitor, judged by where the desktop has each window now (it may move,
// resize, hide or minimize one as monitors come and go) rather than where it was made: a monitor
// without a view gets a new one, and a view covering none (its monitor gone, its window moved
// onto another's monitor or hidden) goes. The first view paces the frames. Looks several times a
// second, at once when Now.
void TShell::CoverEveryMonitor(bool Now) {
  const std::uint32_t Ticks = SDL_GetTicks();
  if (!Now && Ticks - LastMonitorLook < MonitorLookMs) return;
  LastMonitorLook = Ticks;
  const std::vector<TMonitor> Found = Monitors->Now();
  if (Found.empty()) return;
  std::vector<TViewPlace> Places;
  for (const std::unique_ptr<TView>& View : Views) {
    if (View->MadeAt == 0) {  // the first view, made before the monitors were looked at
      const TGLWindow& W = *View->Window;
      View->Target = {W.X(), W.Y(), W.Width(), W.Height()};
      View->MadeAt = Ticks;
    }
    Places.push_back(TMonitors::PlaceOf(View->Window->Handle()));
    Places.back().Target = View->Target;
    Places.back().Arriving = Ticks - View->MadeAt < ArrivalMs;
  }
  const std::vector<int> Owner = CoveringViews(Found, Places, Monitors->SizesTrue());
  const bool Uncovered = std::count(Owner.begin(), Owner.end(), -1) > 0 ||
                         Views.size() > std::size_t(std::count_if(Owner.begin(), Owner.end(),
                                                                  [](int V) { return V >= 0; }));
  // A new layout, or every monitor covered by a view that has got there, allows remakes again.
  if (Found != KnownMonitors || (!Uncovered && std::none_of(Places.begin(), Places.end(),
                                                            [](auto& P) { return P.Arriving; })))
    Remakes = 0;
  KnownMonitors = Found;
  if (Owner != LastOwners) UncoveredSince = 0;  // the mismatch has changed: it settles anew
  LastOwners = Owner;
  if (Settled(Uncovered, Ticks)) Recover(Found, Owner, Ticks);
}

// Whether the views are to be matched to the monitors now: at the start, or once the same
// mismatch has lasted a moment (after one change the desktop moves outputs and windows in several
// steps), and only a few times for one layout: where the desktop puts a new window elsewhere each
// time, views are not made and dropped on and on.
bool TShell::Settled(bool Uncovered, std::uint32_t Ticks) {
  if (!Uncovered) {
    UncoveredSince = 0;
    return true;
  }
  if (Views.empty()) return true;
  if (Remakes >= MaxRemakes) return false;
  if (UncoveredSince == 0) UncoveredSince = Ticks;
  return Ticks - UncoveredSince >= SettleMs;
}

// Each covering view takes its monitor as its own; new views are made for the monitors without
// one before the views covering none go (the views' shared assets outlive the change).
void TShell::Recover(const std::vector<TMonitor>& Found, std::vector<int> Owner,
                     std::uint32_t Ticks) {
  if (SdlMissesAMonitor(Found, Owner)) {
    Views.clear();  // the last window's end stops SDL's video; the next one starts it afresh
    std::fill(Owner.begin(), Owner.end(), -1);
  }
  const std::size_t Before = Views.size();
  std::vector<const TView*> Keep;
  for (std::size_t M = 0; M < Found.size(); ++M) {
    if (Owner[M] >= 0) {
      Views[std::size_t(Owner[M])]->Target = Found[M];
      Keep.push_back(Views[std::size_t(Owner[M])].get());
    } else if (CreateGLWindow(32, {TWindowKind::FullScreen, Found[M].Width, Found[M].Height,
                                   Found[M].X, Found[M].Y, 0})) {
      Views.back()->Target = Found[M];
      Views.back()->MadeAt = Ticks;
      Keep.push_back(Views.back().get());
    }
  }
  std::erase_if(Views, [&](const std::unique_ptr<TView>& View) {
    return std::find(Keep.begin(), Keep.end(), View.get()) == Keep.end();
  });
  if (Views.size() == Before && Keep.size() == Before) return;
  UncoveredSince = 0;
  ++Remakes;
  Pacer = nullptr;  // chosen again among the views now
  if (CursorHidden) SDL_ShowCursor(SDL_DISABLE);  // a restarted video shows it again
}

// SDL reads the X server's monitors when its video starts and misses some later changes (monitors
// moved to new places): a full-screen window for a monitor it does not know goes where an old one
// was. Its video then has to start again, with every view. Once in a round of remakes, so that
// monitors SDL never reports alike (RandR monitors of the user's own making) cannot restart it on
// and on.
bool TShell::SdlMissesAMonitor(const std::vector<TMonitor>& Found,
                               const std::vector<int>& Owner) const {
  if (!Monitors->SizesTrue() || Views.empty() || Remakes > 0) return false;
  const auto Known = [](const TMonitor& M) {
    for (int I = 0; I < SDL_GetNumVideoDisplays(); ++I) {
      SDL_Rect B{};
      if (SDL_GetDisplayBounds(I, &B) == 0 && TMonitor{B.x, B.y, B.w, B.h} == M) return true;
    }
    return false;
  };
  for (std::size_t M = 0; M < Found.size(); ++M)
    if (Owner[M] < 0 && !Known(Found[M])) return true;
  return false;
}

void TShell::WndProc(const SDL_Event& Event) {
  switch (Event.type) {
    case SDL_WINDOWEVENT:
      // A size change needs no handling here: each frame follows its window's pixels first.
      if (Event.window.event == SDL_WINDOWEVENT_CLOSE) {
        SDL_Event Quit{};
        Quit.type = SDL_QUIT;
        SDL_PushEvent(&Quit);
      }
      break;
    case SDL_DISPLAYEVENT:
      if (Monitors) CoverEveryMonitor(true);
      break;
    case SDL_MOUSEMOTION:
      if (!ScreenWidePointer &&
          Pointer.Event(Event.motion.windowID, {Event.motion.x, Event.motion.y}))
        PointerMoved = true;
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

// The exit rules, tested at the end of each frame. The saver ends on Escape or a large pointer
// move, the desktop window on Escape; a hack leaves input to its daemon.
bool TShell::ExitRuleFired() {
  const bool Escape = Keys[VK_ESCAPE] || EscapePressed;
  EscapePressed = false;
  if (Mode == TRunMode::Hack) return false;
  if (Escape) return true;
  if (Mode != TRunMode::Saver) return false;
  if (!ScreenWidePointer) return PointerMoved;
  CursorPos = GetCursorPos();
  return Pointer.Read(CursorPos);
}

// Follows the size in pixels of the window. False, said in one line, when a foreign one is gone.
bool TShell::FollowWindow(TView& View) {
  bool Resized = false;
  if (!View.Window->Follow(Resized)) {
    ShowDiagnostic("the window it was drawing into is gone");
    return false;
  }
  // The viewport follows a window someone else resizes, and a change of the output's scale. An
  // unseen view's context may not be the current one.
  if (Resized && View.Window->MakeCurrent())
    View.Scene.ResizeScene(View.Window->PixelWidth(), View.Window->PixelHeight());
  return true;
}

// One frame of View, swapped. False when its window is a foreign one that is gone.
bool TShell::DrawFrame(TView& View, int Frame) {
  if (Views.size() > 1) View.Window->MakeCurrent();
  if (!FollowWindow(View)) return false;
  View.Scene.DrawScene();
  View.Scene.DrawFrameRate();
  View.Window->Swap();
  View.Health.AfterFrame(View.Scene, Frame);
  return true;
}

std::vector<TView*> TShell::SeenViews() {
  std::vector<TView*> Seen;
  for (const std::unique_ptr<TView>& View : Views)
    if (View->Window->Seen()) Seen.push_back(View.get());
  return Seen;
}

// The frames are paced by a view someone can see: a hidden one's swap may wait for a refresh
// that does not come.
void TShell::PaceBy(const TView& View) {
  if (&View == Pacer) return;
  for (const std::unique_ptr<TView>& Each : Views)
    if (Each->Window->MakeCurrent()) Each->Window->SetPaced(Each.get() == &View);
  Pacer = &View;
}

// Sleeps on the displays' news; the loop looks at the window events, exit rules and monitors
// again several times a second, and a stop signal cuts the sleep short.
void TShell::WaitUntilSeen() {
  std::vector<TVisibility*> Watched;
  for (const std::unique_ptr<TView>& View : Views)
    if (TVisibility* Visibility = View->Window->Visibility()) Watched.push_back(Visibility);
  TVisibility::Wait(Watched, 100);
}

bool TShell::Turn(int& Frame) {
  if (Monitors) CoverEveryMonitor(false);
  if (Views.empty()) {
    ShowDiagnostic("no display is left to draw on");
    return false;
  }
  const std::vector<TView*> Seen = SeenViews();
  if (Seen.empty()) {
    const auto Follow = [&](const std::unique_ptr<TView>& View) { return FollowWindow(*View); };
    if (ExitRuleFired() || !std::all_of(Views.begin(), Views.end(), Follow)) return false;
    WaitUntilSeen();
    return true;
  }
  PaceBy(*Seen.front());
  ++Frame;
  if (!std::all_of(Seen.begin(), Seen.end(), [&](TView* View) { return DrawFrame(*View, Frame); }))
    return false;
  if (ExitRuleFired()) return false;
  SleepUnlessStopped(DelayMicroseconds);
  return true;
}

int TShell::Run() {
  // Only X11 tells a program where the pointer is before it moves into one of its windows, and
  // where its monitors are whatever SDL was told.
  const char* Driver = SDL_GetCurrentVideoDriver();
  ScreenWidePointer = Driver && std::strcmp(Driver, "x11") == 0;
  if (Mode == TRunMode::Saver) {
    Monitors = std::make_unique<TMonitors>(ScreenWidePointer);
    CoverEveryMonitor(true);
  }
  if (ScreenWidePointer) {
    CursorPos = GetCursorPos();
    Pointer.Read(CursorPos);
  }
  CursorHidden = Mode == TRunMode::Saver;
  if (CursorHidden) SDL_ShowCursor(SDL_DISABLE);
  for (int Frame = 0; !StopRequested();) {
    SDL_Event Event;
    if (SDL_PollEvent(&Event)) {
      if (Event.type == SDL_QUIT) break;
      WndProc(Event);
      continue;
    }
    if (!Turn(Frame)) break;
  }
  return 0;
}

int WinMain(const TOptions& Options) {
  TShell Shell(Options, LoadSettings(Options));
  if (!Shell.CreateGLWindow(32, WindowRequestFor(Options))) return 1;
  return Shell.Run();
}
