# The tests of the Windows build, run under Wine by scripts/windows-check.sh:
# the core tests that need no Linux tool (the cards are laid out by Linux's
# file-system tools), the Win32 platform layer, and the wizard offscreen.

# Debian's GoogleTest sources serve the cross build; its libraries are host ones.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_library(tavorine_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/temp_dir.cpp
                                         ${CMAKE_CURRENT_SOURCE_DIR}/support/cards.cpp
                                         ${CMAKE_CURRENT_SOURCE_DIR}/support/cards_win32.cpp)
target_include_directories(tavorine_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorine_test_support PUBLIC tavorine_core tavorine_cardgen gtest)
# Cards come from the Linux build's test data (scripts/windows-check.sh makes
# them there first), seen through Wine's drive Z:, the host's root.
set(TAVORINE_LINUX_TESTDATA "${PROJECT_SOURCE_DIR}/build/testdata" CACHE PATH
    "The Linux build's testdata folder")
target_compile_definitions(tavorine_test_support PUBLIC
  TAV_TESTDATA_DIR="Z:${TAVORINE_LINUX_TESTDATA}" TAV_TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}")

set(portable_core_tests
  avcc_sample camera_date copy_fragments expert_ops header_analysis last_frame_format media_map
  mft_record nal_format nal_sample output_name partition_table progress_meter result_list_ops
  scan_log scan_result_file scan_tables source_paths start_region)
set(core_test_sources)
foreach(name ${portable_core_tests})
  list(APPEND core_test_sources ${CMAKE_CURRENT_SOURCE_DIR}/core/${name}_test.cpp)
endforeach()
file(GLOB windows_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.cpp)
add_executable(core_tests ${core_test_sources} ${windows_test_sources})
target_link_libraries(core_tests PRIVATE tavorine_test_support gtest_main)
include(windows_resources)
tavorine_windows_console_program(core_tests "core tests")
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)

if(TAVORINE_BUILD_GUI AND TARGET tavorine_gui)
  add_subdirectory(app)
endif()
