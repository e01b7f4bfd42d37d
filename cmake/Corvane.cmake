# The project's compile settings and the shape of a feature folder.

option(CORVANE_WERROR "Treat compiler warnings as errors (CI sets it)" OFF)
option(CORVANE_PCH "Compile against precompiled Qt and GoogleTest headers" ON)

# ccache caches a compile that uses a precompiled header only when it may be
# sloppy about the header's defines and time macros (it cannot see them), and
# with GCC only when it sees the header in the preprocessed text
# (-fpch-preprocess, corvane_precompile). The precompiled header's own
# compile is cached too, so a clean build with a warm cache gets back the
# very same header and every compile that uses it hits.
if(CORVANE_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  set(CMAKE_CXX_COMPILER_LAUNCHER /usr/bin/env CCACHE_SLOPPINESS=pch_defines,time_macros ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# corvane_precompile(<target> HEADERS <header>...): the target compiles these
# headers once and every one of its sources against them.
# corvane_precompile(<target> REUSE_FROM <other>): the target uses the
# headers <other> compiled; both must be compiled with the same defines
# (a header compiled with other defines is not used: -Winvalid-pch says so).
# Only headers from outside the project go in, so that a change in the
# project's own headers never rebuilds them.
function(corvane_precompile target)
  if(NOT CORVANE_PCH)
    return()
  endif()
  cmake_parse_arguments(P "" "REUSE_FROM" "HEADERS" ${ARGN})
  if(P_REUSE_FROM)
    target_precompile_headers(${target} REUSE_FROM ${P_REUSE_FROM})
  else()
    target_precompile_headers(${target} PRIVATE ${P_HEADERS})
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fpch-preprocess)
  endif()
endfunction()

# corvane_settings: what every library, program, test and benchmark of the
# project is compiled with. Linked PRIVATE, so it never leaks into the flags of
# a target outside the project.
add_library(corvane_settings INTERFACE)
target_compile_options(corvane_settings INTERFACE -Wall -Wextra -Wshadow $<$<BOOL:${CORVANE_WERROR}>:-Werror>)
# RelWithDebInfo keeps line tables only: enough for a backtrace with file and
# line, where full debug information made every object ten times larger and
# each compile a quarter slower (a Debug build has it all). The sources of
# tests and benchmarks are compiled with -O1, which halves their compile time;
# the code they test and measure keeps -O2. Each precompiled header is built
# with the flags of the targets that use it, so these apply to it as well.
target_compile_options(
  corvane_settings INTERFACE $<$<CONFIG:RelWithDebInfo>:-g1>
  $<$<AND:$<CONFIG:RelWithDebInfo>,$<BOOL:$<TARGET_PROPERTY:CORVANE_TEST>>>:-O1>)
# A build with the address and undefined-behaviour sanitizers
# (scripts/run-sanitized-tests): any finding ends the program with an error.
option(CORVANE_SANITIZE "Build with -fsanitize=address,undefined" OFF)
if(CORVANE_SANITIZE)
  set(_corvane_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(corvane_settings INTERFACE ${_corvane_sanitize})
  target_link_options(corvane_settings INTERFACE ${_corvane_sanitize})
endif()
# Text is QString throughout; bytes become text only where the code says how.
# Tests and benchmarks (targets with the property CORVANE_TEST) may still
# write a string literal where a QString goes; a const char * variable is
# refused there too.
target_compile_definitions(
  corvane_settings INTERFACE QT_NO_CAST_TO_ASCII
  $<IF:$<BOOL:$<TARGET_PROPERTY:CORVANE_TEST>>,QT_RESTRICTED_CAST_FROM_ASCII,QT_NO_CAST_FROM_ASCII>)

# The Qt headers the libraries parse most, compiled once for the logic
# libraries (with corvane_core) and once for the window libraries (with
# corvane_coregui); every other library reuses one of the two.
set(CORVANE_PCH_LOGIC
    <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QMap> <QObject> <QRegularExpression>
    <QSet> <QString> <QStringList> <QTimer> <QVariant> <functional> <memory> <optional>)
set(CORVANE_PCH_GUI
    ${CORVANE_PCH_LOGIC} <QCheckBox> <QComboBox> <QDialog> <QGridLayout> <QGroupBox> <QHBoxLayout> <QHeaderView>
    <QLabel> <QLineEdit> <QListWidget> <QPushButton> <QTabWidget> <QTableWidget> <QTreeWidget> <QVBoxLayout>
    <QWidget>)

# corvane_feature(<folder> [LINKS ...] [GUI_LINKS ...] [EXCLUDE ...]): the two
# libraries of a feature folder. corvane_<folder> holds the logic: every .cpp
# and .h at the top of the folder except the EXCLUDE files (program mains),
# linked to LINKS, without widgets (cmake/Layering.cmake checks it).
# corvane_<folder>gui holds the windows in gui/, linked to the logic library
# and GUI_LINKS. Either library is left out when its folder has no sources.
function(corvane_feature name)
  cmake_parse_arguments(F "" "" "LINKS;GUI_LINKS;EXCLUDE;SOURCES" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB logic CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  foreach(ex IN LISTS F_EXCLUDE)
    list(REMOVE_ITEM logic ${dir}/${ex})
  endforeach()
  list(APPEND logic ${F_SOURCES})
  if(logic)
    add_library(corvane_${name} STATIC ${logic})
    target_include_directories(corvane_${name} PUBLIC ${dir})
    target_link_libraries(corvane_${name} PUBLIC ${F_LINKS} PRIVATE corvane_settings)
    if(name STREQUAL "core")
      corvane_precompile(corvane_core HEADERS ${CORVANE_PCH_LOGIC})
    else()
      corvane_precompile(corvane_${name} REUSE_FROM corvane_core)
    endif()
  endif()
  file(GLOB gui CONFIGURE_DEPENDS ${dir}/gui/*.cpp ${dir}/gui/*.h)
  if(gui)
    add_library(corvane_${name}gui STATIC ${gui})
    target_include_directories(corvane_${name}gui PUBLIC ${dir}/gui)
    if(logic)
      target_link_libraries(corvane_${name}gui PUBLIC corvane_${name})
    endif()
    target_link_libraries(corvane_${name}gui PUBLIC ${F_GUI_LINKS} Qt6::Widgets PRIVATE corvane_settings)
    if(name STREQUAL "core")
      corvane_precompile(corvane_coregui HEADERS ${CORVANE_PCH_GUI})
    else()
      corvane_precompile(corvane_${name}gui REUSE_FROM corvane_coregui)
    endif()
  endif()
endfunction()

# A program of the project: compiled with its settings.
function(corvane_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE corvane_settings)
endfunction()

# A benchmark (Google Benchmark): a program under bench/, held to the layering
# check unless it says GUI. CORE_MAIN gives it the common main of a benchmark
# without windows (bench/BenchMain.cpp) instead of one of its own.
function(corvane_bench name)
  cmake_parse_arguments(B "GUI;CORE_MAIN" "" "SOURCES;LIBS" ${ARGN})
  if(B_CORE_MAIN)
    list(APPEND B_SOURCES ${PROJECT_SOURCE_DIR}/bench/BenchMain.cpp)
  endif()
  corvane_program(${name} ${B_SOURCES})
  # No benchmark declares a QObject of its own: no moc.
  set_target_properties(${name} PROPERTIES CORVANE_TEST ON AUTOMOC OFF)
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  if(NOT B_GUI)
    set_property(GLOBAL APPEND PROPERTY CORVANE_NONGUI_TARGETS ${name})
  endif()
endfunction()
