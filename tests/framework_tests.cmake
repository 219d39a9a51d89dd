add_library(wl_host_interface_c_check STATIC host_interface_c_check.c)
wl_target_defaults(wl_host_interface_c_check)

wl_add_test(NAME module_base_test SOURCES module_base_test.cpp
            LINKS wl_framework wl_standin_host wl_host_interface_c_check LABELS unit)
# The unallocatable pin array case asks for a huge array on purpose.
set_tests_properties(module_base_test PROPERTIES ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1")
