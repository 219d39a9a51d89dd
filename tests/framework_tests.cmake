add_library(wl_host_interface_c_check STATIC host_interface_c_check.c)
wl_target_defaults(wl_host_interface_c_check)

wl_add_test(NAME module_base_test SOURCES module_base_test.cpp
            LINKS wl_framework wl_standin_host wl_host_interface_c_check LABELS unit)
