# What a desktop needs beside the two programs, and the Debian package that
# holds it all (cpack, or `make package`). Included by the top-level
# CMakeLists.txt after the programs, so that it can name them.
set(quadfind_packaging ${CMAKE_CURRENT_LIST_DIR})
set(quadfind_app_id io.github.quadfind.quadfind)
set(quadfind_packaged ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${quadfind_packaged})

install(FILES ${quadfind_packaging}/${quadfind_app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${quadfind_packaging}/${quadfind_app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/app/quadfind.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${quadfind_packaging}/icons/quadfind-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quadfind.png)
endforeach()
install(FILES ${quadfind_packaging}/quadfind-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quadfind-cli)

# The licences, from the texts the tree holds, in the format Debian reads.
add_custom_command(OUTPUT ${quadfind_packaged}/copyright
  COMMAND ${CMAKE_COMMAND} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
          -DFONT_LICENSE=${PROJECT_SOURCE_DIR}/app/fonts/OFL.txt
          -DOUTPUT=${quadfind_packaged}/copyright -P ${quadfind_packaging}/copyright.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/app/fonts/OFL.txt ${quadfind_packaging}/copyright.cmake
  COMMENT "Debian copyright file")
# -n keeps the time out of the file, so that the same changelog gives the same bytes.
add_custom_command(OUTPUT ${quadfind_packaged}/changelog.gz
  COMMAND gzip -9nc ${quadfind_packaging}/changelog > ${quadfind_packaged}/changelog.gz
  DEPENDS ${quadfind_packaging}/changelog
  COMMENT "Compressed changelog")
set(quadfind_package_files ${quadfind_packaged}/copyright ${quadfind_packaged}/changelog.gz)
install(FILES ${quadfind_package_files} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${quadfind_packaging}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quadfind)

# The manual pages come from the programs' own --help, so that the options
# they list are the ones the programs take; the sections --help lacks come
# from the .h2m files. The programs are run by name from their folders, so
# that their usage lines say "quadfind", not the build path.
find_program(QUADFIND_HELP2MAN help2man)
if(QUADFIND_HELP2MAN)
  set(quadfind_manual_targets quadfind-cli)
  set(quadfind-cli_manual_name "find the quadrilateral in many pictures")
  if(TARGET quadfind)
    list(APPEND quadfind_manual_targets quadfind)
    set(quadfind_manual_name "find the quadrilateral in a picture")
  endif()
  foreach(program IN LISTS quadfind_manual_targets)
    set(page ${quadfind_packaged}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}"
              ${QUADFIND_HELP2MAN} --no-info --section=1 --name=${${program}_manual_name}
              --include=${quadfind_packaging}/${program}.h2m --output=${page} ${program}
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${quadfind_packaging}/${program}.h2m
      COMMENT "Manual page ${program}(1)"
      VERBATIM)
    list(APPEND quadfind_package_files ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found: the manual pages are not made (apt-get install help2man)")
endif()
add_custom_target(quadfind_package_files ALL DEPENDS ${quadfind_package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadfind)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The quadfind developers <quadfind@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find the quadrilateral in a picture")
set(CPACK_PACKAGE_DESCRIPTION "quadfind loads a picture and marks the edges of its blue component. It
takes the first and the last edge pixel as two opposite corners of a
quadrilateral, derives the other two, the size of the box and its half,
and shows the fourteen figures in a panel with the diagonals drawn over
the edge map.
.
quadfind-cli does the same for many pictures, as text or JSON Lines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX "")
include(CPack)
