# The wlhost program, run as a process on the built libraries. Libraries
# broken on purpose give validate something to catch.
if(NOT WIN32)
  set(broken_modules crash_on_event unwritten_output hangs_at_high_rates no_exports)
  foreach(name IN LISTS broken_modules)
    add_library(broken_${name} MODULE ${CMAKE_CURRENT_LIST_DIR}/broken_modules/${name}.cpp)
    wl_target_defaults(broken_${name})
    target_link_libraries(broken_${name} PRIVATE wl_framework)
    set_target_properties(broken_${name} PROPERTIES PREFIX "" SUFFIX ".wlm"
                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(broken_${name} PRIVATE -Wl,--exclude-libs,ALL)
  endforeach()

  wl_add_test(NAME wlhost_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wlhost_test.cpp
              LINKS wl_channel LABELS process)
  target_compile_definitions(wlhost_test PRIVATE
    WLHOST_PATH="$<TARGET_FILE:wlhost>" FARCUEIN_PATH="$<TARGET_FILE:farcuein>"
    BROKEN_MODULES_DIR="$<TARGET_FILE_DIR:broken_crash_on_event>"
    WLHOST_HAS_WAV=$<TARGET_PROPERTY:wlhost,WL_HAS_WAV>)
  list(TRANSFORM broken_modules PREPEND broken_)
  add_dependencies(wlhost_test wlhost farcuein ${broken_modules})
else()
  # Every wine start is slow: one start of the program is the whole test.
  wl_add_test(NAME wlhost_windows_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wlhost_windows_test.cpp
              LABELS process)
  target_compile_definitions(wlhost_windows_test PRIVATE
    WLHOST_NAME="$<TARGET_FILE_NAME:wlhost>" FARCUEIN_NAME="$<TARGET_FILE_NAME:farcuein>")
  add_dependencies(wlhost_windows_test wlhost farcuein)
endif()
