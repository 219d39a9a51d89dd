# The shipped file: its symbol tables, and loading it through the OS loader.
if(WIN32)
  set(wl_symbol_format pe)
  find_program(WL_OBJDUMP NAMES ${CMAKE_OBJDUMP} i686-w64-mingw32-objdump REQUIRED)
  set(wl_symbol_tool ${WL_OBJDUMP})
else()
  set(wl_symbol_format elf)
  find_program(WL_NM NAMES nm REQUIRED)
  set(wl_symbol_tool ${WL_NM})
endif()
add_test(NAME farcuein_symbols
         COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:farcuein> -DFORMAT=${wl_symbol_format}
                 -DTOOL=${wl_symbol_tool} -P ${CMAKE_CURRENT_SOURCE_DIR}/check_library_symbols.cmake)
set_tests_properties(farcuein_symbols PROPERTIES LABELS unit)

wl_add_test(NAME farcuein_module_test SOURCES farcuein_module_test.cpp
            LINKS wl_standin_host wl_channel LABELS "unit;process")
target_compile_definitions(farcuein_module_test PRIVATE
  WL_FARCUEIN_PATH="$<TARGET_FILE:farcuein>")
add_dependencies(farcuein_module_test farcuein)
