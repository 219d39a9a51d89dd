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

# A peer of the other word size, for the case where a 32-bit and a 64-bit
# process share one channel. By default the other preset's build of this
# tree (build/dev, build/linux32); the case is skipped when it is not there.
set(WL_CHANNEL_OTHER_PEER "" CACHE FILEPATH "channel_peer built for the other word size")
set(other_peer "${WL_CHANNEL_OTHER_PEER}")
if(NOT other_peer AND NOT WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(other_peer "${PROJECT_SOURCE_DIR}/build/dev/bin/channel_peer")
  else()
    set(other_peer "${PROJECT_SOURCE_DIR}/build/linux32/bin/channel_peer")
  endif()
endif()
if(other_peer)
  set_tests_properties(event_channel_test PROPERTIES
                       ENVIRONMENT "WL_CHANNEL_OTHER_PEER=${other_peer}")
endif()
