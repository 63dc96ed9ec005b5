# Run by cpack after it has staged the files and before it packs them. Every staged file and
# folder gets the one time of the release (packaging/source-date.cmake) and fixed permissions:
# the setup program keeps both, so it is the same bytes whoever builds it, wherever, whenever.
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)

file(GLOB_RECURSE staged LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
list(APPEND staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
foreach(path ${staged})
  if(IS_DIRECTORY ${path})
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                   WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
execute_process(COMMAND touch --no-dereference --date=@${MURL_SOURCE_DATE} ${staged}
                COMMAND_ERROR_IS_FATAL ANY)

# The uninstaller's removal of the staged files, each one in use (murl.dll loaded by a running
# game) left for Windows to delete when it restarts: the template's RemoveInstalledFilesOnRestart.
file(GLOB_RECURSE files RELATIVE ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
     ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
set(CPACK_MURL_DELETE_ON_RESTART "")
foreach(file ${files})
  string(REPLACE "/" "\\" file "${file}")
  string(APPEND CPACK_MURL_DELETE_ON_RESTART "  Delete /REBOOTOK \"$INSTDIR\\${file}\"\n")
endforeach()
