# The local intensity comparison metric beside OpenCV's FAST (uint8); lic_ratios.py adds scikit-image's
# corner_fast (double) in the same run and prints the ratios.
find_package(OpenCV QUIET COMPONENTS core features2d)
if(NOT OpenCV_FOUND)
  message(STATUS "local intensity comparison benchmark: OpenCV not found; skipped")
  return()
endif()
add_executable(dravo_lic_bench ${CMAKE_CURRENT_LIST_DIR}/lic_bench.cpp)
target_include_directories(dravo_lic_bench PRIVATE ${CMAKE_SOURCE_DIR}/vision/include ${DRAVO_BLOCK_INCLUDE}
  ${OpenCV_INCLUDE_DIRS})
target_link_libraries(dravo_lic_bench PRIVATE benchmark::benchmark dravo_fixpt ${OpenCV_LIBS})
