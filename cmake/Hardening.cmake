# Debian's hardening, as dpkg-buildflags gives it with every feature on (fortified libc calls, the
# stack protector, format-string errors, relocations read-only and bound at start-up). Optimisation
# and debug information stay the build type's, and its -Wformat is left out, as it would lower
# every target's -Wformat=2. Not with the sanitizers, whose interceptors a fortified call would
# bypass. Without dpkg-buildflags (Debian's dpkg-dev) the build goes on unhardened and one line of
# the configure says so.
#
# Hardened: every executable and library made in the top-level folder and in tools/, wherever this
# module is included: the layers, the program and the idle watcher, which the package ships, and
# the generator and preview of the shipped data, whose output ships. The tests, benchmarks and
# fuzzers are not: what they exercise is the hardened layers and the hardened program; their own
# harness code ships nowhere.

option(VADREL_HARDENING "Build the program with Debian's hardening flags (dpkg-buildflags)" ON)

# FLAG (CPPFLAGS, CFLAGS, CXXFLAGS or LDFLAGS) of dpkg-buildflags as a list into OUT. Run in the
# source folder, so that its -ffile-prefix-map records source paths relative to it.
function(vadrel_buildflags flag out)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
      "${VADREL_DPKG_BUILDFLAGS}" --get ${flag}
    WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}" OUTPUT_VARIABLE flags
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(g|O|Wformat$)")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

# Gives every executable and library of DIR the hardening flags, CPPFLAGS to LDFLAGS of the caller.
function(vadrel_harden_directory dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE ${CPPFLAGS}
      "$<$<COMPILE_LANGUAGE:C>:${CFLAGS}>" "$<$<COMPILE_LANGUAGE:CXX>:${CXXFLAGS}>")
    target_link_options(${target} PRIVATE ${LDFLAGS})
  endforeach()
endfunction()

# Called once every folder is read, so that targets made after the include are hardened too.
function(vadrel_harden_all)
  foreach(flag CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    vadrel_buildflags(${flag} ${flag})
  endforeach()
  vadrel_harden_directory("${CMAKE_SOURCE_DIR}")
  vadrel_harden_directory("${CMAKE_SOURCE_DIR}/tools")
endfunction()

if(VADREL_HARDENING AND NOT VADREL_SANITIZE AND NOT VADREL_FUZZ)
  find_program(VADREL_DPKG_BUILDFLAGS dpkg-buildflags)
  # A path given on the command line is not searched for, and may name nothing.
  if(NOT VADREL_DPKG_BUILDFLAGS OR IS_DIRECTORY "${VADREL_DPKG_BUILDFLAGS}"
     OR NOT EXISTS "${VADREL_DPKG_BUILDFLAGS}")
    message(NOTICE "-- Hardening: off, as dpkg-buildflags (Debian's dpkg-dev) was not found")
  else()
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL vadrel_harden_all)
  endif()
endif()
