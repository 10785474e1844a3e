// WaylandObject: a Wayland client object owned once, destroyed with its owner (the display
// disconnected), for the idle layer's Wayland clients. Depends on libwayland-client.
#pragma once

#include <wayland-client.h>

#include <memory>

template <typename T, void (*Destroy)(T*)>
struct TWlDelete {
  void operator()(T* Object) const { Destroy(Object); }
};
template <typename T, void (*Destroy)(T*)>
using TWl = std::unique_ptr<T, TWlDelete<T, Destroy>>;

using TDisplay = TWl<wl_display, &wl_display_disconnect>;
using TRegistry = TWl<wl_registry, &wl_registry_destroy>;
