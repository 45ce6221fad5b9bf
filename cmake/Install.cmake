# Where things go on `cmake --install`: the usual GNU places on Linux. The Windows ZIP keeps its
# programs at the top of the folder a user unpacks, beside the README, since a Windows user
# starts telvorn.exe from there rather than from a bin folder on the PATH.
if(WIN32)
  set(CMAKE_INSTALL_BINDIR "." CACHE PATH "Where the programs go")
endif()
include(GNUInstallDirs)

# Manual pages live in man/ as roff with the version left as @TELVORN_VERSION@. Each is filled in,
# compressed as Debian wants it (gzip -9n: no name or time stamp, so the package is reproducible),
# installed, and in a test build linted by groff and mandoc: any remark fails the test.
function(telvorn_add_manual page)
  if(WIN32)
    return()
  endif()
  get_filename_component(section "${page}" LAST_EXT)
  string(SUBSTRING "${section}" 1 -1 section)
  set(filled "${PROJECT_BINARY_DIR}/man/${page}")
  configure_file("${PROJECT_SOURCE_DIR}/man/${page}" "${filled}" @ONLY)
  add_custom_command(OUTPUT "${filled}.gz"
    COMMAND gzip -9nkf "${filled}"
    DEPENDS "${filled}"
    VERBATIM)
  add_custom_target("manual-${page}" ALL DEPENDS "${filled}.gz")
  install(FILES "${filled}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
  if(TELVORN_BUILD_TESTS)
    add_test(NAME "manual.${page}.groff" COMMAND groff -man -ww -z "${filled}")
    add_test(NAME "manual.${page}.mandoc" COMMAND mandoc -T lint "${filled}")
    set_tests_properties("manual.${page}.groff" "manual.${page}.mandoc"
      PROPERTIES FAIL_REGULAR_EXPRESSION ".")
  endif()
endfunction()

# A program goes to the binaries' folder. When installed stripped (as the packages are), it also
# loses the compilers' .comment notes, which strip keeps and Debian's own packages do not carry.
function(telvorn_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  set_property(GLOBAL APPEND PROPERTY TELVORN_INSTALLED_PROGRAMS ${target})
  if(WIN32 OR NOT CMAKE_OBJCOPY)
    return()
  endif()
  set(installed "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>")
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"${installed}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endfunction()
