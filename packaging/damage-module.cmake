# Run by cpack before it packs the staged files. With -D MURL_DAMAGE_MODULE=ON (the test-only
# setup program) murl.dll keeps only its first kilobyte, its headers: Windows cannot load it,
# so registration fails.
if(MURL_DAMAGE_MODULE)
  file(GLOB_RECURSE modules ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/murl.dll)
  if(NOT modules)
    message(FATAL_ERROR "no staged murl.dll to damage under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
  endif()
  foreach(module ${modules})
    execute_process(COMMAND truncate --size=1024 ${module} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
