# The named event channel: one test program (the shared cases plus this
# platform's own) and the peer program it starts for cross-process cases.
add_executable(channel_peer ${CMAKE_CURRENT_LIST_DIR}/channel_peer.cpp)
wl_target_defaults(channel_peer)
target_link_libraries(channel_peer PRIVATE wl_channel)

wl_add_test(NAME event_channel_test
            SOURCES event_channel_test.cpp event_channel_test_${WL_PLATFORM}.cpp
            LINKS wl_channel LABELS process)
add_dependencies(event_channel_test channel_peer)
target_compile_definitions(event_channel_test PRIVATE
                           WL_CHANNEL_PEER="$<TARGET_FILE_NAME:channel_peer>")

# A peer of the other word size (e.g. the linux32 build's), for the case where
# a 32-bit and a 64-bit process share one channel. Skipped when empty.
set(WL_CHANNEL_OTHER_PEER "" CACHE FILEPATH "channel_peer built for the other word size")
if(WL_CHANNEL_OTHER_PEER)
  set_tests_properties(event_channel_test PROPERTIES
                       ENVIRONMENT "WL_CHANNEL_OTHER_PEER=${WL_CHANNEL_OTHER_PEER}")
endif()
