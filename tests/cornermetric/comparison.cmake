# The comparison suites check the fixed-point member against exact rationals (GMP, test-only).
if(TARGET dravo_cornermetric_comparison_tests)
  find_library(GMP_LIBRARY gmp REQUIRED)
  find_library(GMPXX_LIBRARY gmpxx REQUIRED)
  target_link_libraries(dravo_cornermetric_comparison_tests PRIVATE ${GMPXX_LIBRARY} ${GMP_LIBRARY})
endif()
