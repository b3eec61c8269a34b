# The Qt shell and ZilbaCompanion. Included from src/CMakeLists.txt; paths are relative to src/.
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)
file(GLOB ZC_QT_SOURCES CONFIGURE_DEPENDS shells/qt/*.cpp shells/qt/*.h shells/qt/*.qrc)
list(FILTER ZC_QT_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(zc_qt STATIC ${ZC_QT_SOURCES})
target_link_libraries(zc_qt PUBLIC zc_core Qt6::Widgets)
add_executable(ZilbaCompanion shells/qt/main.cpp)
target_link_libraries(ZilbaCompanion PRIVATE zc_qt zc_posix)
set_target_properties(ZilbaCompanion PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(TARGETS ZilbaCompanion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop's menu entry and the icon it shows, in the sizes the program draws.
install(FILES shells/qt/desktop/zilba-companion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64)
  install(FILES shells/qt/resources/icon-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME zilba-companion.png)
endforeach()
