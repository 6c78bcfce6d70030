# Installing and packing the tuner. `cmake --install` puts the program in bin/ with a
# desktop entry, an icon, its AppStream metadata, a manual page, the licence and the
# changelog; on the desktop CPack turns that into a Debian package (make deb), and the
# handheld's build leaves beside the program a tarball for the device and the
# application bundle its launchers mount.

install(FILES ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.svg
        DESTINATION share/icons/hicolor/scalable/apps)
# What software centres list the tuner by.
install(FILES ${PROJECT_SOURCE_DIR}/data/org.example.vessandrel.tuner.metainfo.xml
        DESTINATION share/metainfo)

# The manual page and the changelog go in gzipped, as Debian has them: -9 for the size,
# -n so that the file's name and time stay out and the same source gives the same bytes.
set(gzipped)
foreach(file vessandrel-tuner.6 changelog)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/${file}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/${file} ${PROJECT_BINARY_DIR}/${file}
    COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/${file}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${file}
    VERBATIM)
  list(APPEND gzipped ${PROJECT_BINARY_DIR}/${file}.gz)
endforeach()
add_custom_target(gzipped-docs ALL DEPENDS ${gzipped})
install(FILES ${PROJECT_BINARY_DIR}/vessandrel-tuner.6.gz DESTINATION share/man/man6)
# The licence in Debian's machine-readable form, and the changelog of a native package.
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/vessandrel-tuner)

set(CPACK_PACKAGE_NAME vessandrel-tuner)
set(CPACK_PACKAGE_VENDOR "the Vessandrel team")
set(CPACK_PACKAGE_CONTACT "the Vessandrel team <vessandrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reference-tone guitar tuner")
# Lines of the extended description stay within 80 columns once dpkg indents them.
set(CPACK_PACKAGE_DESCRIPTION [[
Plays, in an endless loop, the note of the chosen string of a guitar in
standard tuning, so that the string can be tuned by ear. Made for a 320x240
handheld with a few buttons; on a desktop it opens a window of that size and
takes the same keys.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/vessandrel")
# The package depends on exactly the libraries the program links, as dpkg-shlibdeps
# finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

if(TUNER_HANDHELD)
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
  configure_file(${PROJECT_SOURCE_DIR}/data/README.device.in ${device_dir}/README @ONLY)
  # The licences travel with the program: ours, and the notices and licence texts of
  # everything linked into it, which scripts/handheld-toolchain takes from the source
  # packages it built them from.
  configure_file(${PROJECT_SOURCE_DIR}/data/NOTICE.device.in ${device_dir}/NOTICE @ONLY)
  set(licenses ${TUNER_HANDHELD_ROOT}/share/licenses)
  if(NOT EXISTS ${licenses}/SOURCES)
    message(FATAL_ERROR "No licence texts in ${licenses}: run scripts/handheld-toolchain")
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
  # our SVG, the desktop entry and the licences at its root, which is how handheld launchers take an
  # application. Times and owners are fixed so that the same program gives the same image.
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
endif()
