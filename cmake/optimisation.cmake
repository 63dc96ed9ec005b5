# How the Windows build optimises the code that goes into murl.dll. Each folder declares it for
# its own targets and sources; native builds keep the build type's flags.
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
# folder of the sources.
function(murl_optimise_for_speed target)
  if(WIN32)
    set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS -O3)
  endif()
endfunction()
