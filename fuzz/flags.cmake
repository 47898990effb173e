# The path parser and the flag parser read text from the command line.
tqupd_fuzz_target(path_parse_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/path_parse_fuzz.cpp)
tqupd_fuzz_target(flag_parse_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/flag_parse_fuzz.cpp)
