# Stand-ins of the docking software for the tests under Wine: rapi.dll and adofiltr.dll with
# the real exports, undecorated (--kill-at drops the 32-bit "@N" of the Windows calling
# convention), and the tool that registers the filter library. All go beside the program.
foreach(dll rapi adofiltr)
  if(dll STREQUAL "rapi")
    set(source win32/StandInRapi.cpp)
  else()
    set(source win32/StandInFilter.cpp)
  endif()
  add_library(standin_${dll} SHARED ${source})
  target_compile_definitions(standin_${dll} PRIVATE UNICODE _UNICODE)
  target_include_directories(standin_${dll} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_options(standin_${dll} PRIVATE -Wl,--kill-at)
  set_target_properties(standin_${dll} PROPERTIES PREFIX "" OUTPUT_NAME ${dll}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endforeach()

add_executable(zilba-register win32/Register.cpp)
target_compile_definitions(zilba-register PRIVATE UNICODE _UNICODE)
target_link_options(zilba-register PRIVATE -municode)
target_link_libraries(zilba-register PRIVATE advapi32)
set_target_properties(zilba-register PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
