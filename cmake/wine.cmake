# Running Windows programs under Wine from the build: MURL_WINE_RUN PREFIX PROGRAM ARGS...
# creates the prefix on first use and keeps Wine's own chatter out of the output.
include_guard(GLOBAL)
set(MURL_WINE_RUN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(MURL_WINE_RUN sh ${MURL_WINE_RUN_SCRIPT})
set(MURL_BUILD_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH
    "Wine prefix for programs run at build time")
