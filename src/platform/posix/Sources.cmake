# The Linux platform layer. Included from src/CMakeLists.txt; paths are relative to src/.
file(GLOB ZC_POSIX_SOURCES CONFIGURE_DEPENDS platform/posix/*.cpp)
add_library(zc_posix STATIC ${ZC_POSIX_SOURCES})
target_link_libraries(zc_posix PUBLIC zc_core SQLite::SQLite3 CURL::libcurl Threads::Threads ${CMAKE_DL_LIBS})

# The filter library: converts the handheld database into the desktop database.
add_library(zc_adofilter SHARED platform/posix/filter/AdoFilter.cpp)
target_link_libraries(zc_adofilter PRIVATE zc_posix)
# Keep the statically linked platform code private to the library.
target_link_options(zc_adofilter PRIVATE -Wl,--exclude-libs,ALL)
set_target_properties(zc_adofilter PROPERTIES CXX_VISIBILITY_PRESET hidden
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
install(TARGETS zc_adofilter LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zilba-companion)
