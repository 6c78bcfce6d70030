# Builds the tuner for the handheld itself: one static executable for any MIPS32
# little-endian Linux, release 1 instructions, software floating point, musl linked in,
# with the SDL stack that handheld/toolchain builds from Debian's sources.
#
#   cmake -S . -B build-handheld --toolchain handheld/toolchain.cmake \
#         -DTUNER_HANDHELD_ROOT=.cache/handheld/sysroot
#
# The compilers are that script's drivers, which bring the flags, headers, start files
# and libraries; this file only points CMake at them.

set(TUNER_HANDHELD_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.cache/handheld/sysroot"
    CACHE PATH "What handheld/toolchain built")
get_filename_component(TUNER_HANDHELD_ROOT "${TUNER_HANDHELD_ROOT}" ABSOLUTE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TUNER_HANDHELD_ROOT)
if(NOT EXISTS "${TUNER_HANDHELD_ROOT}/bin/mipsel-handheld-g++")
  message(FATAL_ERROR "No handheld toolchain in ${TUNER_HANDHELD_ROOT}: run handheld/toolchain")
endif()

# Tells the packaging what the device gets: the tarball and the application bundle.
set(TUNER_HANDHELD ON)
set(TUNER_TARGET mipsel-linux-musl)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_C_COMPILER "${TUNER_HANDHELD_ROOT}/bin/mipsel-handheld-gcc")
set(CMAKE_CXX_COMPILER "${TUNER_HANDHELD_ROOT}/bin/mipsel-handheld-g++")
# The drivers' names hide the binutils prefix CMake would guess from them.
set(CMAKE_AR mipsel-linux-gnu-ar CACHE FILEPATH "")
set(CMAKE_RANLIB mipsel-linux-gnu-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP mipsel-linux-gnu-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH "${TUNER_HANDHELD_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${TUNER_HANDHELD_ROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# A release 1 core without an FPU, which is what qemu's 4Kc is; the executable needs
# nothing else from the host.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TUNER_QEMU qemu-mipsel)
  if(TUNER_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${TUNER_QEMU};-cpu;4Kc")
  endif()
endif()
