# The scenario corpus as the native and the Windows runs both play it: the fixed clock of every
# run, and the scenarios to play. A NAME.then.scenario is the second run of NAME, which the
# driver plays after it, so it is not a case of its own.
set(MURL_SCENARIO_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MURL_SCENARIO_CLOCK "2024-05-17 21:30:00")
file(GLOB _murl_scenario_files CONFIGURE_DEPENDS ${MURL_SCENARIO_DIR}/*.scenario)
set(MURL_SCENARIOS "")
foreach(_file ${_murl_scenario_files})
  get_filename_component(_name ${_file} NAME)
  string(REGEX REPLACE "\\.scenario$" "" _name ${_name})
  if(NOT _name MATCHES "\\.then$")
    list(APPEND MURL_SCENARIOS ${_name})
  endif()
endforeach()
