# Cross-compiles the tuner for a Linux target with a GCC cross toolchain.
#
#   cmake -S . -B build-x --toolchain handheld/cross-toolchain.cmake \
#         -DTUNER_TARGET=mipsel-linux-gnu -DTUNER_SYSROOT=/path/to/sysroot
#
# TUNER_TARGET   the target triplet; the compilers are <triplet>-gcc and <triplet>-g++
#                (default mipsel-linux-gnu, Debian's cross toolchain).
# TUNER_CROSS_PREFIX  what goes before gcc/g++ when that is not just "<triplet>-", e.g.
#                /opt/handheld/bin/mipsel-linux-uclibc- for a vendor SDK.
# TUNER_SYSROOT  the target's headers and libraries (SDL 1.2, SDL_mixer, SDL_gfx, and
#                GoogleTest for the tests), laid out as on the target.
#
# Two kinds of sysroot work. A complete one, with the C library's headers in it (an SDK's),
# is handed to the compiler as --sysroot. A partial one, made of a distribution's library
# packages without the C library's -dev parts (handheld/mipsel-sysroot builds one), leaves
# the compiler its own C library and only adds the libraries.
#
# Tests run through qemu user emulation, qemu-<first part of the triplet> -L <sysroot>,
# unless CMAKE_CROSSCOMPILING_EMULATOR is given.

set(TUNER_TARGET "mipsel-linux-gnu" CACHE STRING "Target triplet")
set(TUNER_CROSS_PREFIX "${TUNER_TARGET}-" CACHE STRING "Prefix of the cross compilers")
set(TUNER_SYSROOT "" CACHE PATH "Sysroot with the target's libraries")
# try_compile projects read this file again and need the same answers.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TUNER_TARGET TUNER_CROSS_PREFIX TUNER_SYSROOT)

if(NOT IS_DIRECTORY "${TUNER_SYSROOT}")
  message(FATAL_ERROR "TUNER_SYSROOT must name the target's sysroot (got '${TUNER_SYSROOT}')")
endif()

string(REGEX REPLACE "-.*" "" _tuner_cpu "${TUNER_TARGET}")
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${_tuner_cpu})
set(CMAKE_C_COMPILER ${TUNER_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${TUNER_CROSS_PREFIX}g++)

if(EXISTS "${TUNER_SYSROOT}/usr/include/stdio.h")
  set(CMAKE_SYSROOT "${TUNER_SYSROOT}")
endif()
if(IS_DIRECTORY "${TUNER_SYSROOT}/usr/lib/${TUNER_TARGET}")
  set(CMAKE_LIBRARY_ARCHITECTURE ${TUNER_TARGET})
endif()

# The target's libraries are found in the sysroot only; the build's tools on the host.
set(CMAKE_FIND_ROOT_PATH "${TUNER_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_SYSROOT_DIR} "${TUNER_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${TUNER_SYSROOT}/usr/lib/${TUNER_TARGET}/pkgconfig:${TUNER_SYSROOT}/usr/lib/pkgconfig:${TUNER_SYSROOT}/usr/share/pkgconfig")

# The linker follows the SDL libraries' own dependencies (SDL_mixer -> libvorbisfile ->
# ...) only in the folders it is told of: every library folder of the sysroot.
file(GLOB_RECURSE _tuner_libs LIST_DIRECTORIES false
     "${TUNER_SYSROOT}/lib/lib*.so*" "${TUNER_SYSROOT}/usr/lib/lib*.so*")
set(_tuner_lib_dirs "")
foreach(lib IN LISTS _tuner_libs)
  get_filename_component(dir "${lib}" DIRECTORY)
  list(APPEND _tuner_lib_dirs "${dir}")
endforeach()
list(REMOVE_DUPLICATES _tuner_lib_dirs)
set(_tuner_rpath_link "")
foreach(dir IN LISTS _tuner_lib_dirs)
  string(APPEND _tuner_rpath_link " -Wl,-rpath-link,${dir}")
endforeach()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_tuner_rpath_link}")
# No run path into this machine's sysroot: on the target the libraries are where its loader
# looks anyway, and under qemu -L the sysroot stands in for the target's root.
set(CMAKE_SKIP_RPATH ON)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_tuner_rpath_link}")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TUNER_QEMU qemu-${_tuner_cpu})
  if(TUNER_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${TUNER_QEMU};-L;${TUNER_SYSROOT}")
  endif()
endif()
