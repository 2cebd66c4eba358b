# Qt Widgets' headers (and GoogleTest's, for the tests) are most of what every window and window
# test compiles. Each is parsed once, in a precompiled header that every such target reuses.
# Nothing changes what a source file must include: where the compiler cannot use the header it
# reads the sources as they are.
#
# kvel_precompile_widget_targets() runs after every folder is added: a target that links
# kvel_qt_test_main reuses the tests' header, one that links Qt Widgets (itself or through one
# of our window libraries) the windows' header.

set(KVEL_WIDGET_HEADERS
  <QAction> <QApplication> <QCheckBox> <QComboBox> <QDateTime> <QDir> <QFile> <QLabel>
  <QLineEdit> <QMenu> <QObject> <QPointer> <QPushButton> <QString> <QTimer> <QWidget>
  <array> <cstdint> <functional> <memory> <optional> <string> <vector>)

function(kvel_all_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    kvel_all_targets(${subdirectory} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(kvel_precompile_widget_targets)
  if(MSVC)
    return()
  endif()
  set(widget_libraries Qt6::Widgets kvel_toolkit kvel_device kvel_firmware kvel_app
    kvel_diagnostics_windows kvel_finder_windows kvel_settings_windows kvel_telemetry_windows)
  target_precompile_headers(kvel_toolkit PRIVATE ${KVEL_WIDGET_HEADERS})
  if(TARGET kvel_qt_test_main)
    # Not <QTest>: its macros are defined differently in every test folder.
    target_precompile_headers(kvel_qt_test_main PRIVATE ${KVEL_WIDGET_HEADERS} <gtest/gtest.h>)
  endif()
  kvel_all_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT type MATCHES "EXECUTABLE|STATIC_LIBRARY" OR NOT links
       OR target MATCHES "^(kvel_toolkit|kvel_qt_test_main)$")
      continue()
    endif()
    if(kvel_qt_test_main IN_LIST links)
      target_precompile_headers(${target} REUSE_FROM kvel_qt_test_main)
      continue()
    endif()
    foreach(library IN LISTS widget_libraries)
      if(library IN_LIST links)
        target_precompile_headers(${target} REUSE_FROM kvel_toolkit)
        break()
      endif()
    endforeach()
  endforeach()
endfunction()
