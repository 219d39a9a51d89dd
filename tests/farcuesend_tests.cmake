# farcuesend: its logic in-process, then the built program as its own process
# beside a channel this test holds and a Farcue In instance it triggers.
set(farcuesend_test_sources farcuesend_test.cpp)
if(WL_PLATFORM STREQUAL "posix")
  # Only POSIX sleeps can be cut short by a signal.
  list(APPEND farcuesend_test_sources farcuesend_wait_posix_test.cpp)
endif()
wl_add_test(NAME farcuesend_test SOURCES ${farcuesend_test_sources}
            LINKS wl_farcuesend_core wl_channel wl_standin_host LABELS unit process)
add_dependencies(farcuesend_test farcuesend farcuein)
if(WIN32)
  # Every program start under wine costs tens of seconds: only the cases
  # that matter most run there.
  set(farcuesend_windows 1)
else()
  set(farcuesend_windows 0)
endif()
target_compile_definitions(farcuesend_test PRIVATE
  WL_FARCUESEND_PATH="$<TARGET_FILE:farcuesend>"
  WL_FARCUEIN_PATH="$<TARGET_FILE:farcuein>"
  WL_TEST_CRLF_TEXT=${farcuesend_windows}
  WL_TEST_COSTLY_STARTS=${farcuesend_windows})
if(WIN32)
  # Under wine the continuous case alone covers the link to the module.
  set_tests_properties(farcuesend_test PROPERTIES
    ENVIRONMENT "GTEST_FILTER=-FarcuesendWithModule.SetGivesOnePulseInPulsedMode")
endif()
