# Qt Charts, for the trends window. Debian 12's package configuration of Qt
# Charts also asks for Qt OpenGL's development files (libqt6opengl6-dev),
# which qt6-charts-dev does not pull in and the charts' headers do not use.
# Without them the library is taken as it is installed.
find_package(Qt6Charts 6.4 QUIET CONFIG)
if(NOT Qt6Charts_FOUND)
    find_library(CORVANE_QT_CHARTS_LIBRARY NAMES Qt6Charts REQUIRED)
    get_target_property(corvane_qt_includes Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
    find_path(CORVANE_QT_CHARTS_INCLUDE NAMES QtCharts/QChart HINTS ${corvane_qt_includes}
              PATH_SUFFIXES .. qt6 REQUIRED)
    cmake_path(APPEND CORVANE_QT_CHARTS_INCLUDE QtCharts OUTPUT_VARIABLE corvane_charts_module)
    cmake_path(NORMAL_PATH corvane_charts_module)
    cmake_path(GET corvane_charts_module PARENT_PATH corvane_charts_include)
    # A failed package search may have left a target of that name half made.
    set(corvane_charts_target Qt6::Charts)
    if(TARGET Qt6::Charts)
        set(corvane_charts_target corvane_qt_charts)
    endif()
    add_library(${corvane_charts_target} SHARED IMPORTED)
    set_target_properties(${corvane_charts_target} PROPERTIES
        IMPORTED_LOCATION ${CORVANE_QT_CHARTS_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES "${corvane_charts_include};${corvane_charts_module}"
        INTERFACE_COMPILE_DEFINITIONS QT_CHARTS_LIB
        INTERFACE_LINK_LIBRARIES Qt6::Widgets)
    message(STATUS "Qt Charts: ${CORVANE_QT_CHARTS_LIBRARY} (without its package configuration)")
endif()
