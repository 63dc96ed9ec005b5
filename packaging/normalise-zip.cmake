# Run by cpack after it has written a package. A .zip as written also records each file's
# change and access times and its owner, and its entries come in the order the folder lists
# them: strip-nondeterminism gives every entry the release's time (in UTC, as the zip's DOS
# times are local), a fixed owner, and sorts the entries.
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)

foreach(package ${CPACK_PACKAGE_FILES})
  if(package MATCHES "\\.zip$")
    find_program(strip_nondeterminism strip-nondeterminism)
    if(NOT strip_nondeterminism)
      message(FATAL_ERROR "strip-nondeterminism not found (scripts/install-deps.sh installs it)")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${strip_nondeterminism} --type zip
                            --timestamp ${MURL_SOURCE_DATE} ${package}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
