# The desk's man pages, compressed as Debian keeps them. kmbdiag-sim(1) is written from its
# source with the fault catalogue the built simulator prints; every other page of docs/man/
# goes in as it stands, the card's kmbdiag(8) too, since the desk's engineer runs its menus.
find_program(KMB_GZIP gzip REQUIRED)
set(KMB_MAN_BUILD ${CMAKE_BINARY_DIR}/man)
set(kmb_man_outputs)

add_custom_command(
  OUTPUT ${KMB_MAN_BUILD}/written/kmbdiag-sim.1
  COMMAND ${CMAKE_COMMAND} "-DSIM=${CMAKE_CROSSCOMPILING_EMULATOR};$<TARGET_FILE:kmbdiag-sim>"
          -DIN=${KMB_MAN_SOURCE}/kmbdiag-sim.1.in -DOUT=${KMB_MAN_BUILD}/written/kmbdiag-sim.1
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/man_faults.cmake
  DEPENDS kmbdiag-sim ${KMB_MAN_SOURCE}/kmbdiag-sim.1.in ${CMAKE_CURRENT_LIST_DIR}/man_faults.cmake
  COMMENT "kmbdiag-sim(1) with the fault catalogue"
  VERBATIM)

file(GLOB kmb_man_pages CONFIGURE_DEPENDS ${KMB_MAN_SOURCE}/*.1 ${KMB_MAN_SOURCE}/*.8)
list(APPEND kmb_man_pages ${KMB_MAN_BUILD}/written/kmbdiag-sim.1)
foreach(page IN LISTS kmb_man_pages)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\.([1-8])$" "\\1" section ${name})
  # -n: no name or time stamp in the archive, so that a rebuild gives the same package.
  add_custom_command(
    OUTPUT ${KMB_MAN_BUILD}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${KMB_MAN_BUILD}/${name}
    COMMAND ${KMB_GZIP} -9nf ${KMB_MAN_BUILD}/${name}
    DEPENDS ${page}
    VERBATIM)
  list(APPEND kmb_man_outputs ${KMB_MAN_BUILD}/${name}.gz)
  install(FILES ${KMB_MAN_BUILD}/${name}.gz DESTINATION share/man/man${section} COMPONENT desk)
endforeach()
add_custom_target(kmb_man_pages ALL DEPENDS ${kmb_man_outputs})
