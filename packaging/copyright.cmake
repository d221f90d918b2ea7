# Writes /usr/share/doc/quadfind/copyright in Debian's machine-readable
# format from the licence texts the source tree holds, so that each text is
# kept in one place. Takes LICENSE, FONT_LICENSE and OUTPUT.

# One space before each line, and " ." for an empty one.
function(indent text out)
  string(REGEX REPLACE "\n+$" "" text "${text}")
  string(REPLACE "\n" "\n " text " ${text}")
  string(REGEX REPLACE "\n \n" "\n .\n" text "${text}")
  string(REGEX REPLACE "\n \n" "\n .\n" text "${text}")
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

file(READ "${LICENSE}" mit)
# The project's notice line comes from LICENSE too; the licence paragraph
# starts after it.
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${mit}")
set(holder "${CMAKE_MATCH_1}")
string(FIND "${mit}" "Permission is hereby granted" start)
string(SUBSTRING "${mit}" ${start} -1 mit_text)
indent("${mit_text}" mit_text)

file(READ "${FONT_LICENSE}" ofl)
string(REGEX MATCH "© ([^\n]*)" font_notice "${ofl}")
set(font_holder "${CMAKE_MATCH_1}")
string(FIND "${ofl}" "SIL OPEN FONT LICENSE Version 1.1" start)
string(SUBSTRING "${ofl}" ${start} -1 ofl_text)
string(REGEX REPLACE "^[^\n]*\n-+\n" "" ofl_text "${ofl_text}")
indent("SIL OPEN FONT LICENSE Version 1.1 - 26 February 2007\n${ofl_text}" ofl_text)

file(WRITE "${OUTPUT}" "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quadfind
Comment: Qt, libtiff, giflib and zlib are linked from their own Debian packages,
 under their own licences (Qt under the LGPL 3); see those packages' copyright files.

Files: *
Copyright: ${holder}
License: Expat

Files: app/fonts/*
Copyright: ${font_holder}
License: OFL-1.1
Comment: A subset of Noto Sans CJK TC, renamed Quadfind Sans TC, built into the
 quadfind program.

License: Expat
${mit_text}
License: OFL-1.1
${ofl_text}")
