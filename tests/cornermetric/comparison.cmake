# Local intensity comparison kernel: the arc search exhaustively, the floating members against the
# transcribed reference, the fixed-point member against exact rationals (GMP, test-only).
find_library(GMP_LIBRARY gmp REQUIRED)
find_library(GMPXX_LIBRARY gmpxx REQUIRED)
add_executable(dravo_cornermetric_comparison_tests
  ${CMAKE_CURRENT_LIST_DIR}/comparison_search_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/comparison_float_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/comparison_fixed_test.cpp)
target_include_directories(dravo_cornermetric_comparison_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/vision/include ${DRAVO_BLOCK_INCLUDE})
target_link_libraries(dravo_cornermetric_comparison_tests PRIVATE
  GTest::gtest_main dravo_fixpt dravo_host ${GMPXX_LIBRARY} ${GMP_LIBRARY})
dravo_add_gtest(dravo_cornermetric_comparison_tests)
