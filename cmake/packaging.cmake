# What a build installs and packages. A build for the card installs the diagnostic as the
# card's root file system holds it (/usr/local/bin/kmbdiag); a build for a workstation installs
# the desk's programs: the simulator, the daemons that run on it, their man pages, the
# fault-coverage report and the bash completion. `cpack -G DEB` in the build folder makes the
# one Debian package that folder is for: kmbdiag (powerpc) or kmbdiag-sim (the host's).
if(CMAKE_CROSSCOMPILING)
  set(KMB_PACKAGE_DEFAULT card)
else()
  set(KMB_PACKAGE_DEFAULT desk)
endif()
set(KMB_PACKAGE ${KMB_PACKAGE_DEFAULT} CACHE STRING "What this build installs and packages: card or desk")
set_property(CACHE KMB_PACKAGE PROPERTY STRINGS card desk)

# A package is made of what was built: cpack builds nothing first, so that the card's package
# needs only `--target kmbdiag` of a cross build, whose tests take long to build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KMB diagnostic team <kmbdiag@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(KMB_MAN_SOURCE ${PROJECT_SOURCE_DIR}/docs/man)

if(KMB_PACKAGE STREQUAL "card")
  # One static program and its page; the card has no dpkg database of shared libraries to
  # depend on, and its flash is small, so the program goes on stripped.
  install(TARGETS kmbdiag RUNTIME DESTINATION bin COMPONENT card)
  install(FILES ${KMB_MAN_SOURCE}/kmbdiag.8 DESTINATION share/man/man8 COMPONENT card)
  set(CPACK_PACKAGE_NAME kmbdiag)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "factory board diagnostic of the KMB management card")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr/local)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_STRIP_FILES ON)
elseif(KMB_PACKAGE STREQUAL "desk")
  install(TARGETS kmbdiag-sim kmb-agentd-sim kmb-seld-sim RUNTIME DESTINATION bin COMPONENT desk)
  if(TARGET kmbdiag-campaign)
    install(TARGETS kmbdiag-campaign RUNTIME DESTINATION bin COMPONENT desk)
  endif()
  # The daemons' command-line client, where this tree has one.
  if(TARGET kmb-agent)
    install(TARGETS kmb-agent RUNTIME DESTINATION bin COMPONENT desk)
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/man_pages.cmake)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/fault-coverage.md ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION share/doc/kmbdiag-sim COMPONENT desk)
  # bash-completion loads a command's completion from the file of its name: one file serves
  # every desk program, under each program's name.
  set(KMB_COMPLETED kmbdiag-sim kmb-agentd-sim kmb-seld-sim)
  foreach(program kmbdiag-campaign kmb-agent)
    if(TARGET ${program})
      list(APPEND KMB_COMPLETED ${program})
    endif()
  endforeach()
  foreach(program ${KMB_COMPLETED})
    install(FILES ${PROJECT_SOURCE_DIR}/scripts/kmb-desk.bash-completion
            DESTINATION share/bash-completion/completions RENAME ${program} COMPONENT desk)
  endforeach()
  set(CPACK_PACKAGE_NAME kmbdiag-sim)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "the KMB card diagnostic on a simulated card in its test fixture")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Depends: the shared libraries the programs link, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
else()
  message(FATAL_ERROR "KMB_PACKAGE is '${KMB_PACKAGE}': card or desk")
endif()

include(CPack)
