# Running Windows programs under Wine from the build: MURL_WINE_RUN PREFIX PROGRAM ARGS...
# creates the prefix on first use and keeps Wine's own chatter out of the output.
include_guard(DIRECTORY)
set(MURL_WINE_RUN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(MURL_WINE_RUN sh ${MURL_WINE_RUN_SCRIPT})
set(MURL_BUILD_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH
    "Wine prefix for programs run at build time")

# murl_missing_tools(WHY TEST WHAT TOOL...): looks for each TOOL on the PATH. When any is missing,
# sets WHY to the reason and adds the test TEST, which reports WHAT as skipped; otherwise WHY is
# empty.
function(murl_missing_tools why test what)
  set(missing "")
  foreach(tool ${ARGN})
    string(MAKE_C_IDENTIFIER "MURL_HAVE_${tool}" var)
    find_program(${var} ${tool})
    if(NOT ${var})
      list(APPEND missing ${tool})
    endif()
  endforeach()
  set(reason "")
  if(missing)
    set(reason "${what} skipped: ${missing} not found (scripts/install-deps.sh installs them)")
    add_test(NAME ${test} COMMAND sh -c "echo '${reason}'; exit 77")
    set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
  set(${why} "${reason}" PARENT_SCOPE)
endfunction()
