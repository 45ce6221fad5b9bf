# The one version of the project is the top project()'s. The banner shows it as major.minor with a
# two-digit minor ("2.00" for 2.0), and the packages and manual pages carry that same text, so that
# what a user installs reads as what the program prints.
if(PROJECT_VERSION_MINOR GREATER 99)
  message(FATAL_ERROR "The banner has room for a two-digit minor version only")
endif()
set(TELVORN_VERSION_MAJOR "${PROJECT_VERSION_MAJOR}")
if(PROJECT_VERSION_MINOR LESS 10)
  set(TELVORN_VERSION_MINOR "0${PROJECT_VERSION_MINOR}")
else()
  set(TELVORN_VERSION_MINOR "${PROJECT_VERSION_MINOR}")
endif()
set(TELVORN_VERSION "${TELVORN_VERSION_MAJOR}.${TELVORN_VERSION_MINOR}")

set(TELVORN_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${PROJECT_SOURCE_DIR}/app/Version.h.in" "${TELVORN_GENERATED_DIR}/app/Version.h"
               @ONLY)
