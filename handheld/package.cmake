# What the handheld's build leaves beside the program (make handheld): a tarball for the
# device, with its README and the licences, and the application bundle its launchers
# mount. Included by the top CMakeLists.txt when handheld/toolchain.cmake is the toolchain.

# What the build is, told in the device's README: the instruction set revision and the
# floating point as the compiler itself reports them for the flags it was given.
set(TUNER_BUILT_FOR "One static executable, musl linked in")
separate_arguments(flags UNIX_COMMAND "${CMAKE_CXX_FLAGS}")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${flags} -dM -E -x c++ /dev/null
                OUTPUT_VARIABLE macros ERROR_QUIET)
if(macros MATCHES "#define __mips_isa_rev ([0-9]+)")
  string(APPEND TUNER_BUILT_FOR ", MIPS32 release ${CMAKE_MATCH_1}")
elseif(macros MATCHES "#define __mips ")
  string(APPEND TUNER_BUILT_FOR ", MIPS32 release 1")
endif()
if(macros MATCHES "#define __mips_hard_float ")
  string(APPEND TUNER_BUILT_FOR ", hardware floating point")
elseif(macros MATCHES "#define __mips_soft_float ")
  string(APPEND TUNER_BUILT_FOR ", software floating point")
endif()

set(device_name vessandrel-tuner-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR})
set(device_dir ${PROJECT_BINARY_DIR}/device)
set(device_tarball ${PROJECT_BINARY_DIR}/${device_name}.tar.gz)
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.in ${device_dir}/README @ONLY)
# The licences travel with the program: ours, and the notices and licence texts of
# everything linked into it, which handheld/toolchain takes from the source packages it
# built them from.
configure_file(${CMAKE_CURRENT_LIST_DIR}/NOTICE.in ${device_dir}/NOTICE @ONLY)
set(licenses ${TUNER_HANDHELD_ROOT}/share/licenses)
if(NOT EXISTS ${licenses}/SOURCES)
  message(FATAL_ERROR "No licence texts in ${licenses}: run handheld/toolchain")
endif()
file(GLOB_RECURSE license_files ${licenses}/*)
set(copy_licenses
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${device_dir}/NOTICE <dir>
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${licenses} <dir>/licenses)
string(REPLACE <dir> ${device_dir}/${device_name} tarball_licenses "${copy_licenses}")
add_custom_command(
  OUTPUT ${device_tarball}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${device_dir}/${device_name}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${device_dir}/${device_name}
  COMMAND ${CMAKE_STRIP} -o ${device_dir}/${device_name}/vessandrel-tuner
          $<TARGET_FILE:vessandrel-tuner>
  COMMAND ${CMAKE_COMMAND} -E copy ${device_dir}/README ${device_dir}/${device_name}/README
  ${tarball_licenses}
  COMMAND ${CMAKE_COMMAND} -E chdir ${device_dir}
          ${CMAKE_COMMAND} -E tar czf ${device_tarball} ${device_name}
  DEPENDS vessandrel-tuner ${device_dir}/README ${device_dir}/NOTICE ${PROJECT_SOURCE_DIR}/LICENSE
          ${license_files}
  COMMENT "Packing ${device_name}.tar.gz for the device"
  VERBATIM)
add_custom_target(device-tarball ALL DEPENDS ${device_tarball})

# The application bundle: a squashfs image with the program, a 32 x 32 icon drawn from
# our SVG, the desktop entry and the licences at its root, which is how handheld launchers
# take an application. Times and owners are fixed so that the same program gives the same image.
find_program(MKSQUASHFS mksquashfs PATHS /usr/sbin /sbin REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(bundle_dir ${device_dir}/bundle)
set(bundle ${PROJECT_BINARY_DIR}/${device_name}.squashfs)
string(REPLACE <dir> ${bundle_dir} bundle_licenses "${copy_licenses}")
add_custom_command(
  OUTPUT ${bundle}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${bundle_dir} ${bundle}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle_dir}
  COMMAND ${CMAKE_STRIP} -o ${bundle_dir}/vessandrel-tuner $<TARGET_FILE:vessandrel-tuner>
  COMMAND ${RSVG_CONVERT} -w 32 -h 32 -o ${bundle_dir}/vessandrel-tuner.png
          ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.svg
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.desktop
          ${bundle_dir}/vessandrel-tuner.desktop
  ${bundle_licenses}
  COMMAND ${MKSQUASHFS} ${bundle_dir} ${bundle} -comp gzip -all-root -mkfs-time 0
          -all-time 0 -quiet
  DEPENDS vessandrel-tuner ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.svg
          ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.desktop ${device_dir}/NOTICE
          ${PROJECT_SOURCE_DIR}/LICENSE ${license_files}
  COMMENT "Packing ${device_name}.squashfs, the application bundle"
  VERBATIM)
add_custom_target(device-bundle ALL DEPENDS ${bundle})
