#include "X11Idle.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

// The server's own screen-saver timer, set to the watcher's time: its activation (the extension's
// ScreenSaverNotify On) is Idle, its end (Off, on any input) Active. Only that timer honours a
// screen saver suspended by another client and the resets that players send, which the idle time
// the extension reports does not show. So the watcher changes two server settings while it runs
// (the time and the cycle) and registers an external saver window of its own, an invisible
// InputOnly one, so that the server neither blanks nor tiles the screen; the user's own time and
// cycle are put back when it ends (short of SIGKILL, after which the server's timer blanks at the
// watcher's time).
class TX11Idle final : public TIdleSource {
public:
  TX11Idle(Display* Connection, int EventBase, int IdleSeconds);
  ~TX11Idle() override;
  TX11Idle(const TX11Idle&) = delete;
  TX11Idle& operator=(const TX11Idle&) = delete;

  std::string Name() const override { return "the X server's MIT-SCREEN-SAVER extension"; }
  std::vector<int> Fds() const override { return {ConnectionNumber(D)}; }
  // Events Xlib has already read wait in its queue, where poll() cannot see them.
  int TimeoutMs() const override { return XQLength(D) > 0 || IdleAlready ? 0 : -1; }
  bool Dispatch(std::vector<TIdleEvent>& Events) override;

private:
  Display* D;
  Window Root;
  int NotifyEvent;  // the extension's ScreenSaverNotify event type
  int Seconds;
  int UserTimeout = 0, UserInterval = 0, UserBlanking = 0, UserExposures = 0;
  bool Gone = false;  // the connection broke: nothing can be put back
  // The server's screen saver was on when the watcher began (no input since it came on): no On
  // will come before the next input, so the first Dispatch tells Idle.
  bool IdleAlready = false;

  // Xlib ends the process when the connection breaks, unless told otherwise.
  static void ConnectionBroke(Display*, void* Self) { static_cast<TX11Idle*>(Self)->Gone = true; }
  bool Closed();
};

TX11Idle::TX11Idle(Display* Connection, int EventBase, int IdleSeconds)
    : D(Connection), Root(DefaultRootWindow(Connection)),
      NotifyEvent(EventBase + ScreenSaverNotify), Seconds(IdleSeconds) {
  XSetIOErrorExitHandler(D, &ConnectionBroke, this);
  XGetScreenSaver(D, &UserTimeout, &UserInterval, &UserBlanking, &UserExposures);
  XSetScreenSaver(D, Seconds, 0, UserBlanking, UserExposures);
  XSetWindowAttributes Attributes{};
  Attributes.override_redirect = True;
  Screen* S = DefaultScreenOfDisplay(D);
  XScreenSaverSetAttributes(D, Root, 0, 0, unsigned(WidthOfScreen(S)), unsigned(HeightOfScreen(S)),
                            0, CopyFromParent, InputOnly, CopyFromParent, CWOverrideRedirect,
                            &Attributes);
  XScreenSaverSelectInput(D, Root, ScreenSaverNotifyMask);
  XScreenSaverInfo Info{};
  IdleAlready = XScreenSaverQueryInfo(D, Root, &Info) && Info.state == ScreenSaverOn;
  XSync(D, False);
}

TX11Idle::~TX11Idle() {
  if (!Gone) {
    XScreenSaverUnsetAttributes(D, Root);
    // Put back only what is still ours: another program may have set the time meanwhile.
    int Timeout = 0, Interval = 0, Blanking = 0, Exposures = 0;
    XGetScreenSaver(D, &Timeout, &Interval, &Blanking, &Exposures);
    if (Timeout == Seconds && Interval == 0)
      XSetScreenSaver(D, UserTimeout, UserInterval, UserBlanking, UserExposures);
    XSync(D, False);
  }
  XCloseDisplay(D);
}

// Whether the server has closed the connection (read before Xlib, which would end the process).
bool TX11Idle::Closed() {
  if (Gone) return true;
  if (XQLength(D) > 0) return false;
  char Byte = 0;
  const ssize_t Read = recv(ConnectionNumber(D), &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
  Gone = Read == 0 || (Read < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  return Gone;
}

bool TX11Idle::Dispatch(std::vector<TIdleEvent>& Events) {
  if (Closed()) return false;
  if (IdleAlready) Events.push_back(TIdleEvent::Idle);
  IdleAlready = false;
  while (!Gone && XPending(D) > 0) {
    XEvent Event;
    XNextEvent(D, &Event);
    if (Event.type != NotifyEvent) continue;
    const auto& Notify = reinterpret_cast<const XScreenSaverNotifyEvent&>(Event);
    if (Notify.state == ScreenSaverOn) Events.push_back(TIdleEvent::Idle);
    if (Notify.state == ScreenSaverOff) Events.push_back(TIdleEvent::Active);
  }
  return !Gone;
}

// Errors of requests (another client's saver window registered first) are no reason to end.
int IgnoreError(Display*, XErrorEvent*) { return 0; }
// A broken connection is told in the watcher's own line; Xlib's would come on top of it.
int QuietConnectionError(Display*) { return 0; }

}  // namespace

std::unique_ptr<TIdleSource> OpenX11Idle(int IdleMs, std::string& Why) {
  const char* Name = std::getenv("DISPLAY");
  if (!Name || !*Name) {
    Why = "DISPLAY is not set";
    return nullptr;
  }
  Display* D = XOpenDisplay(Name);
  if (!D) {
    Why = std::string("cannot open the X display ") + Name;
    return nullptr;
  }
  int EventBase = 0, ErrorBase = 0;
  if (!XScreenSaverQueryExtension(D, &EventBase, &ErrorBase)) {
    XCloseDisplay(D);
    Why = "the X server has no MIT-SCREEN-SAVER";
    return nullptr;
  }
  XSetErrorHandler(&IgnoreError);
  XSetIOErrorHandler(&QuietConnectionError);
  return std::make_unique<TX11Idle>(D, EventBase, std::max(1, (IdleMs + 999) / 1000));
}
