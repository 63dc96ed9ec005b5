# cmake -DOBJDUMP=... -DMODULE=murl.dll -P check_exports.cmake: the module's export directory
# names "murl.dll" and holds exactly the four entry points, ordinals in alphabetical order; its
# imports are system DLLs only; the shipped module stays within 300,000 bytes.
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()

set(failures "")
string(REGEX MATCH "Name[ \t]+[0-9a-fA-F]+ ([^\n]+)" _ "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "murl.dll")
  list(APPEND failures "export directory names '${CMAKE_MATCH_1}'")
endif()
string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "1")
  list(APPEND failures "ordinal base ${CMAKE_MATCH_1}")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" _ "${dump}")
string(REGEX MATCHALL "\\[ *([0-9]+)\\] ([A-Za-z_0-9@]+)" entries "${CMAKE_MATCH_1}")
set(expected "[   0] DllCanUnloadNow;[   1] DllGetClassObject;[   2] DllRegisterServer;[   3] DllUnregisterServer")
if(NOT "${entries}" STREQUAL "${expected}")
  list(APPEND failures "exports are '${entries}'")
endif()
# Each name's ordinal: the name table is sorted, so index i must carry ordinal i + 1.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *([0-9]+)\\]" ordinals "${dump}")
list(LENGTH ordinals count)
if(NOT count EQUAL 4)
  list(APPEND failures "${count} exported addresses")
endif()

string(REGEX MATCHALL "DLL Name: ([^\n]+)" imports "${dump}")
foreach(entry ${imports})
  string(REGEX REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|user32|advapi32|ole32|oleaut32|msvcrt|version)\\.dll$")
    list(APPEND failures "imports ${dll}")
  endif()
endforeach()

file(SIZE ${MODULE} size)
if(size GREATER 300000)
  list(APPEND failures "${size} bytes, more than 300,000")
endif()

if(failures)
  message(FATAL_ERROR "murl.dll: ${failures}")
endif()
message(STATUS "exports and imports as expected: ${entries}")
