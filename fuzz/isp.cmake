# Readers of what the switch sends.
tqupd_fuzz_target(identity_reply_fuzz identity_reply_fuzz.cpp)
tqupd_fuzz_target(uu_decode_fuzz uu_decode_fuzz.cpp)
tqupd_fuzz_target(console_monitor_fuzz console_monitor_fuzz.cpp)

# The protocol readers run over a scripted port and clock instead of the OS's: a copy of
# the utility's library with the OS halves of the port and the clock swapped out.
get_target_property(core_sources tqupd_core SOURCES)
list(FILTER core_sources EXCLUDE REGEX "(serial_port|clock)_(posix|win32)\\.cpp$")
add_library(tqupd_scripted_core STATIC ${core_sources} scripted_link.cpp)
target_include_directories(tqupd_scripted_core PUBLIC ${PROJECT_SOURCE_DIR}
                           ${CMAKE_CURRENT_SOURCE_DIR})
# The same sources need the same include folders as in the original (generated headers).
target_include_directories(tqupd_scripted_core PRIVATE
                           $<TARGET_PROPERTY:tqupd_core,INCLUDE_DIRECTORIES>)
add_dependencies(tqupd_scripted_core carried_image)
tqupd_fuzz_target_over(tqupd_scripted_core switch_replies_fuzz switch_replies_fuzz.cpp)
