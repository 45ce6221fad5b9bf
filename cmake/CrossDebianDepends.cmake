# Read by cpack in a cross build: the Debian package's Depends from what the built programs link
# against. dpkg-shlibdeps finds the libraries in the cross sysroot and takes their dependency
# information from Debian's cross packages (libc6-arm64-cross and so on), whose shlibs name the
# target's own packages with an architecture qualifier (libc6:arm64) and whose libgcc symbols
# name the cross package itself. In a package of that architecture the plain names mean the
# same packages, at the same minimum versions. The cross libstdc++ has no symbols file, so
# libstdc++6 comes without a version: the libc6 it needs is newer than any libstdc++6 too old.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(arch "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
file(MAKE_DIRECTORY "${CPACK_TELVORN_SHLIBDEPS_DIR}/debian")
file(WRITE "${CPACK_TELVORN_SHLIBDEPS_DIR}/debian/control"
     "Source: ${CPACK_PACKAGE_NAME}\n\nPackage: ${CPACK_PACKAGE_NAME}\nArchitecture: ${arch}\n")
file(STRINGS "${CPACK_TELVORN_PROGRAM_LIST}" programs)
execute_process(
  COMMAND dpkg-shlibdeps -O "-l${CPACK_TELVORN_CROSS_LIBRARIES}" ${programs}
  WORKING_DIRECTORY "${CPACK_TELVORN_SHLIBDEPS_DIR}"
  OUTPUT_VARIABLE substvars
  ERROR_VARIABLE complaints
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT substvars MATCHES "^shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps on the ${arch} programs failed:\n${complaints}")
endif()
set(depends "${CMAKE_MATCH_1}")
string(REPLACE "-${arch}-cross" "" depends "${depends}")
string(REPLACE ":${arch}" "" depends "${depends}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
