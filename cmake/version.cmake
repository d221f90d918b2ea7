# Run at every build (not only at configure time), so that a build says which
# commit it was made from even when nothing made CMake configure again.
# VERSION is the project's; SOURCE_DIR and OUTPUT are paths.
set(describe "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --always --dirty --abbrev=7 --match "v[0-9]*"
                  OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(describe "")
  endif()
endif()
if(describe STREQUAL "")
  set(full "${VERSION}")
else()
  set(full "${VERSION} (git ${describe})")
endif()
set(text "// Made by the build from the project's version and git describe.\n#pragma once\n#define QUADFIND_VERSION \"${full}\"\n")
# Written only when it changes, so that an unchanged tree rebuilds nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
