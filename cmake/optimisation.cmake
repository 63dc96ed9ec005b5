# How the Windows build optimises the code that goes into murl.dll. Each folder declares it for
# its own targets and sources; native builds keep the build type's flags, but for the event
# path's alignment.
include_guard(GLOBAL)

# murl_optimise_for_size(TARGET...): the shipped module is kept small. Code outside the event
# path is optimised for size, every function and datum in its own section, so that linking
# murl.dll with --gc-sections drops whatever nothing refers to.
function(murl_optimise_for_size)
  if(WIN32)
    foreach(target ${ARGN})
      target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections)
    endforeach()
  endif()
endfunction()

# murl_optimise_for_speed(TARGET SOURCE...): sources on the event path, which every chat line
# passes through, optimised for speed inside a target optimised for size. Call it in the
# folder of the sources. Their functions and loops start on 32-byte boundaries in every build,
# so that a change elsewhere in the object does not move a hot loop across a fetch boundary
# (the search's SSE2 loop once changed by a fifth with its place).
function(murl_optimise_for_speed target)
  set(options -falign-functions=32 -falign-loops=32)
  if(WIN32)
    list(PREPEND options -O3)
  endif()
  set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target} PROPERTIES
                              COMPILE_OPTIONS "${options}")
endfunction()
