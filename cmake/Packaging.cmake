# Packages made by `cpack` in a configured tree: a Debian package from a Linux tree, a ZIP from
# the Windows cross build. Both carry the programs, the licence and the version of project().
set(TELVORN_MAINTAINER "the TELVORN authors <telvorn@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME telvorn)
set(CPACK_PACKAGE_VERSION "${TELVORN_VERSION}")
set(CPACK_PACKAGE_VENDOR "the TELVORN authors")
set(CPACK_PACKAGE_CONTACT "${TELVORN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download configuration files into TEQ6 devices over a serial line")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
# Directories the packages create are 0755 whatever the umask of the machine that built them.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "telvorn-${TELVORN_VERSION}-win64")
  # Notepad on older Windows shows LF-only text as one long line.
  set(windows_docs "${PROJECT_BINARY_DIR}/packaging")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt" "${windows_docs}/README.txt"
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file("${PROJECT_SOURCE_DIR}/LICENSE" "${windows_docs}/LICENSE.txt"
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES "${windows_docs}/README.txt" "${windows_docs}/LICENSE.txt" DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # dpkg-shlibdeps finds what the programs link against: the C and C++ runtimes only.
  if(CMAKE_CROSSCOMPILING)
    # The target's libraries are known to dpkg only as Debian's cross packages, so CPack's own
    # call cannot find them: cpack runs dpkg-shlibdeps on the cross sysroot instead.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${TELVORN_CROSS_DEBIAN_ARCH}")
    set(CPACK_TELVORN_CROSS_LIBRARIES "${CMAKE_FIND_ROOT_PATH}/lib")
    set(CPACK_TELVORN_SHLIBDEPS_DIR "${PROJECT_BINARY_DIR}/packaging/shlibdeps")
    set(CPACK_TELVORN_PROGRAM_LIST "${PROJECT_BINARY_DIR}/packaging/programs.txt")
    get_property(programs GLOBAL PROPERTY TELVORN_INSTALLED_PROGRAMS)
    list(TRANSFORM programs REPLACE ".+" "$<TARGET_FILE:\\0>")
    list(JOIN programs "\n" program_list)
    file(GENERATE OUTPUT "${CPACK_TELVORN_PROGRAM_LIST}" CONTENT "${program_list}\n")
    set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/CrossDebianDepends.cmake")
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  set(CPACK_PACKAGE_DESCRIPTION [=[
telvorn sends a TEQ6 configuration file to the device over a serial port:
it checks the file and the port, waits for the device, sends every block
with acknowledgement and retries, echoes what the device says, lets the
user give up with x, and reports the outcome in its exit status.

Serial ports are named by COM number as on Windows: /dev/ttyS0 is COM1,
/dev/ttyUSB0 COM33, /dev/ttyACM0 COM65 and /dev/ttyAMA0 COM97.

Three tools come with it: telvorn-ports lists the serial ports with their
COM numbers and whether telvorn could open them, teq6-sim plays a TEQ6 on
a pseudo-terminal or a serial line, for trying the program without a
device, and teq6-file makes, checks and shows configuration files.]=])
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/copyright"
          DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  # A package without a Debian revision is native, and its history goes in changelog.gz.
  set(changelog "${PROJECT_BINARY_DIR}/packaging/changelog")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog" "${changelog}" @ONLY)
  add_custom_command(OUTPUT "${changelog}.gz"
    COMMAND gzip -9nkf "${changelog}"
    DEPENDS "${changelog}"
    VERBATIM)
  add_custom_target(debian-changelog ALL DEPENDS "${changelog}.gz")
  install(FILES "${changelog}.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME telvorn)
endif()

include(CPack)
