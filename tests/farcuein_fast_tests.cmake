# The fast process routine against the per-sample reference loop.
wl_add_test(NAME farcuein_fast_process_test SOURCES farcuein_fast_process_test.cpp
            LINKS wl_farcuein_module LABELS unit)
