# Installing and packing the tuner. `cmake --install` puts the program in bin/ with a
# desktop entry and an icon; on the desktop CPack turns that into a Debian package
# (make deb), and a cross build leaves a tarball for the device beside the program.

install(FILES ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/vessandrel-tuner.svg
        DESTINATION share/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME vessandrel-tuner)
set(CPACK_PACKAGE_VENDOR "the Vessandrel team")
set(CPACK_PACKAGE_CONTACT "the Vessandrel team <vessandrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reference-tone guitar tuner")
set(CPACK_PACKAGE_DESCRIPTION
    "Plays, in an endless loop, the note of the chosen string of a guitar in standard tuning, so that the string can be tuned by ear. Made for a 320x240 handheld with a few buttons; on a desktop it opens a window of that size and takes the same keys.")
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

if(CMAKE_CROSSCOMPILING)
  # What the device must match, told in its README: the C library from the triplet and,
  # on MIPS, the instruction set revision and floating point from the compiler itself.
  set(TUNER_BUILT_FOR "")
  if(TUNER_TARGET MATCHES "uclibc")
    set(TUNER_BUILT_FOR "uClibc")
  elseif(TUNER_TARGET MATCHES "musl")
    set(TUNER_BUILT_FOR "musl")
  elseif(TUNER_TARGET MATCHES "gnu")
    set(TUNER_BUILT_FOR "glibc")
  endif()
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
  string(REGEX REPLACE "^, " "" TUNER_BUILT_FOR "${TUNER_BUILT_FOR}")

  set(device_name vessandrel-tuner-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR})
  set(device_dir ${PROJECT_BINARY_DIR}/device)
  set(device_tarball ${PROJECT_BINARY_DIR}/${device_name}.tar.gz)
  configure_file(${PROJECT_SOURCE_DIR}/data/README.device.in ${device_dir}/README @ONLY)
  add_custom_command(
    OUTPUT ${device_tarball}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${device_dir}/${device_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${device_dir}/${device_name}
    COMMAND ${CMAKE_STRIP} -o ${device_dir}/${device_name}/vessandrel-tuner
            $<TARGET_FILE:vessandrel-tuner>
    COMMAND ${CMAKE_COMMAND} -E copy ${device_dir}/README ${device_dir}/${device_name}/README
    COMMAND ${CMAKE_COMMAND} -E chdir ${device_dir}
            ${CMAKE_COMMAND} -E tar czf ${device_tarball} ${device_name}
    DEPENDS vessandrel-tuner ${device_dir}/README
    COMMENT "Packing ${device_name}.tar.gz for the device"
    VERBATIM)
  add_custom_target(device-tarball ALL DEPENDS ${device_tarball})
endif()
