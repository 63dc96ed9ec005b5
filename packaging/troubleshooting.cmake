# One troubleshooting text, packaging/troubleshooting.txt, for the player's README.txt (taken in
# when the readme is configured) and for README.md and docs/windows.md (a copy between the two
# markers below). After editing the text, write the copies again:
#
#     cmake -P packaging/troubleshooting.cmake
#
# With -DCHECK=ON -DWORK=FOLDER it changes nothing and fails when a copy, or the readme
# configured into FOLDER, does not hold the text as it stands.
include_guard(GLOBAL)

set(_murl_packaging ${CMAKE_CURRENT_LIST_DIR})
set(_murl_troubleshooting_begin
    "<!-- troubleshooting: a copy of packaging/troubleshooting.txt; edit that file, then run `cmake -P packaging/troubleshooting.cmake` -->\n")
set(_murl_troubleshooting_end "<!-- troubleshooting: end of the copy -->")

# The player's readme with the troubleshooting text in it, at `out` (CRLF line ends).
function(murl_configure_readme out)
  file(READ ${_murl_packaging}/troubleshooting.txt MURL_TROUBLESHOOTING)
  # NEWLINE_STYLE converts the template's line ends, not those of what it takes in.
  string(REPLACE "\n" "\r\n" MURL_TROUBLESHOOTING "${MURL_TROUBLESHOOTING}")
  configure_file(${_murl_packaging}/README.txt.in ${out} @ONLY NEWLINE_STYLE CRLF)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${_murl_packaging}/troubleshooting.txt)
  return()
endif()

get_filename_component(root ${_murl_packaging} DIRECTORY)
file(READ ${_murl_packaging}/troubleshooting.txt text)
set(drift "")
foreach(doc README.md docs/windows.md)
  file(READ ${root}/${doc} content)
  string(FIND "${content}" "${_murl_troubleshooting_begin}" begin)
  string(FIND "${content}" "${_murl_troubleshooting_end}" end)
  if(begin EQUAL -1 OR end LESS begin)
    list(APPEND drift "${doc}: no copy between the markers")
    continue()
  endif()
  string(LENGTH "${_murl_troubleshooting_begin}" marker_length)
  math(EXPR first "${begin} + ${marker_length}")
  math(EXPR length "${end} - ${first}")
  string(SUBSTRING "${content}" ${first} ${length} copy)
  if(copy STREQUAL text)
    continue()
  endif()
  if(CHECK)
    list(APPEND drift "${doc}: the copy differs from packaging/troubleshooting.txt")
  else()
    string(SUBSTRING "${content}" 0 ${first} head)
    string(SUBSTRING "${content}" ${end} -1 tail)
    file(WRITE ${root}/${doc} "${head}${text}${tail}")
    message(STATUS "wrote the copy in ${doc}")
  endif()
endforeach()

if(CHECK)
  set(MURL_RELEASE_VERSION "0.0.0")
  murl_configure_readme(${WORK}/README.txt)
  file(READ ${WORK}/README.txt readme)
  string(REPLACE "\r" "" readme "${readme}")
  string(FIND "${readme}" "${text}" at)
  if(at EQUAL -1)
    list(APPEND drift "README.txt: does not hold packaging/troubleshooting.txt as it stands \
(README.txt.in takes it in as @MURL_TROUBLESHOOTING@)")
  endif()
endif()
if(drift)
  string(REPLACE ";" "\n" drift "${drift}")
  message(FATAL_ERROR "${drift}\nAfter editing the text: cmake -P packaging/troubleshooting.cmake")
endif()
