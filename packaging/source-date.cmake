# The one time the packages carry: SOURCE_DATE_EPOCH when set, else the last commit's (git log -1
# --format=%ct in the source tree), as MURL_SOURCE_DATE (seconds since 1970). Outside a git
# checkout and without SOURCE_DATE_EPOCH the packages are refused rather than given the clock's
# time or a made-up date.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(MURL_SOURCE_DATE "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C ${CPACK_MURL_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE MURL_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(MURL_SOURCE_DATE "")
  endif()
endif()
if(NOT MURL_SOURCE_DATE MATCHES "^[0-9]+$")
  message(FATAL_ERROR "The packages carry the time of the last commit, and ${CPACK_MURL_SOURCE_DIR} "
                      "is not a git checkout: set SOURCE_DATE_EPOCH (seconds since 1970) to the "
                      "release's time, `git log -1 --format=%ct` of its commit.")
endif()
