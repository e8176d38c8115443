# The specialised stored-integer engine against the number objects (its plan compiled in, to check which
# engine each case takes).
set(quobit_src ${CMAKE_SOURCE_DIR}/vision/visionutilities/visiontuk/quobit)
add_executable(dravo_cornermetric_stored_tests eigen_stored_test.cpp ${quobit_src}/eigenstoredint_plan.cpp)
target_include_directories(dravo_cornermetric_stored_tests PRIVATE ${cornermetric_includes} ${quobit_src})
target_link_libraries(dravo_cornermetric_stored_tests PRIVATE GTest::gtest_main dravo_host dravo_dsphelpers
  dravo_fixpt ${GMPXX_LIBRARY} ${GMP_LIBRARY})
add_dependencies(dravo_cornermetric_stored_tests quobit)
dravo_add_gtest(dravo_cornermetric_stored_tests)
