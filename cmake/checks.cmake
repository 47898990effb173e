# The code's own checks, as CTest tests with the label "style", in every build with tests:
#   Style.ClangFormat      every C++ file formatted as .clang-format says
#   Style.ClangTidy        .clang-tidy's checks, through this build's compile commands (a
#                          Linux build checks the POSIX and portable files, a Windows
#                          build the Windows files)
#   IncludeGraph.RunsOneWay  the build's dependencies run one way (include_graph.cmake)
# A check whose tool is not installed reports itself skipped (scripts/check-code.sh).
# The scripts run through the host's shell, never as a target: CTest would start a target
# of a cross build through Wine.

add_test(NAME Style.ClangFormat COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-code.sh format)
add_test(NAME Style.ClangTidy
         COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-code.sh tidy ${PROJECT_BINARY_DIR})
# clang-tidy parses every file of the utility: the slowest check, and one that wants the
# processors, so it starts early.
set_tests_properties(Style.ClangFormat Style.ClangTidy PROPERTIES LABELS style
                     SKIP_RETURN_CODE 77 TIMEOUT 600)
set_tests_properties(Style.ClangTidy PROPERTIES COST 500)

include(${CMAKE_CURRENT_LIST_DIR}/include_graph.cmake)
set_tests_properties(IncludeGraph.RunsOneWay PROPERTIES LABELS style)
