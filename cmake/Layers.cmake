# The layers the build enforces. vadrel_layer(TARGET LAYER) makes the static library TARGET of the
# sources in src/LAYER (the process entry, src/app/Main.cpp, excepted) with the include folders of
# LAYER and the layers below it, and puts a guard folder first on its include path: each header a
# layer must not use is there a stub whose #error names the layer, so a source that breaks its
# layer fails to build with that line, even for headers that live in the system's own folders.

set(VADREL_LAYERS sim platform idle render app)

# The headers each layer must not include. GL, SDL, X11 and the image libraries are the
# simulation's; SDL, X11, PNG and the window-system GL bindings are the renderer's.
set(VADREL_FORBIDDEN_sim
  GL/gl.h GL/glu.h GL/glx.h GL/glext.h EGL/egl.h SDL.h SDL2/SDL.h X11/Xlib.h X11/X.h X11/Xutil.h
  jpeglib.h png.h)
set(VADREL_FORBIDDEN_platform GL/gl.h GL/glu.h GL/glx.h X11/Xlib.h X11/X.h jpeglib.h png.h)
# The idle watcher runs beside the screen saver without any GL or SDL: its memory stays small.
set(VADREL_FORBIDDEN_idle
  GL/gl.h GL/glu.h GL/glx.h GL/glext.h EGL/egl.h SDL.h SDL2/SDL.h jpeglib.h png.h)
set(VADREL_FORBIDDEN_render
  GL/glx.h EGL/egl.h SDL.h SDL2/SDL.h X11/Xlib.h X11/X.h X11/Xutil.h png.h)
set(VADREL_FORBIDDEN_app)

set(VADREL_LAYER_NAME_sim "simulation")
set(VADREL_LAYER_NAME_platform "platform")
set(VADREL_LAYER_NAME_idle "idle watcher")
set(VADREL_LAYER_NAME_render "rendering")
set(VADREL_LAYER_NAME_app "application")

# The guard folder of LAYER, written at configure time (only when its contents change).
function(vadrel_layer_guard_dir layer out)
  set(dir "${CMAKE_BINARY_DIR}/layer-guard/${layer}")
  foreach(header ${VADREL_FORBIDDEN_${layer}})
    file(CONFIGURE OUTPUT "${dir}/${header}" CONTENT
      "#error \"the ${VADREL_LAYER_NAME_${layer}} layer (src/${layer}) must not include <${header}>\"\n")
  endforeach()
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

# Gives TARGET (any kind) the include path of LAYER: its guard first, then its folder and those of
# the layers below.
function(vadrel_layer_includes target layer)
  vadrel_layer_guard_dir(${layer} guard)
  target_include_directories(${target} BEFORE PRIVATE "${guard}")
  foreach(each ${VADREL_LAYERS})
    target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/src/${each}")
    if(each STREQUAL layer)
      break()
    endif()
  endforeach()
endfunction()

function(vadrel_layer target layer)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/${layer}/*.cpp")
  list(REMOVE_ITEM sources "${CMAKE_SOURCE_DIR}/src/app/Main.cpp")
  add_library(${target} STATIC ${sources})
  vadrel_layer_includes(${target} ${layer})
endfunction()
