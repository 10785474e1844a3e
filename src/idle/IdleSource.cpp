#include "IdleSource.h"

#include "GnomeIdle.h"
#include "WaylandIdle.h"
#include "X11Idle.h"

std::unique_ptr<TIdleSource> OpenIdleSource(int IdleMs, std::string& Tried) {
  using TOpen = std::unique_ptr<TIdleSource> (*)(int, std::string&);
  const std::pair<const char*, TOpen> Sources[] = {
      {"GNOME's org.gnome.Mutter.IdleMonitor", &OpenGnomeIdle},
      {"Wayland's ext_idle_notifier_v1 and org_kde_kwin_idle", &OpenWaylandIdle},
      {"X11's MIT-SCREEN-SAVER", &OpenX11Idle},
  };
  Tried = "no idle source: tried ";
  for (const auto& [What, Open] : Sources) {
    std::string Why;
    if (std::unique_ptr<TIdleSource> Source = Open(IdleMs, Why)) return Source;
    Tried.append(What).append(" (").append(Why).append("), ");
  }
  Tried.resize(Tried.size() - 2);
  return nullptr;
}
