# dravo_add_block(NAME <plugin> SOURCES <files...> [COMMON_ONLY] [LIBS <extra libs...>])
#
# Builds a block as a MODULE plug-in (<plugin>.so) with hidden visibility: only the callbacks and helpers
# marked for export are visible. Each plug-in compiles its own copy of the shared block utilities (the
# common entry points only, with COMMON_ONLY).
function(dravo_add_block)
  cmake_parse_arguments(ARG "COMMON_ONLY" "NAME" "SOURCES;LIBS" ${ARGN})
  set(utils_dir ${CMAKE_SOURCE_DIR}/shared/dsp/vision/Korvel/utilities/blockutils)
  set(util_sources ${utils_dir}/entrypoints.cpp)
  if(NOT ARG_COMMON_ONLY)
    list(APPEND util_sources ${utils_dir}/blockutils.cpp)
  endif()
  add_library(${ARG_NAME} MODULE ${ARG_SOURCES} ${util_sources})
  set_target_properties(${ARG_NAME} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${ARG_NAME} PRIVATE
    ${DRAVO_BLOCK_INCLUDE}
    ${CMAKE_SOURCE_DIR}/vision/include)
  target_link_libraries(${ARG_NAME} PRIVATE dravo_host dravo_dsphelpers ${ARG_LIBS})
  if(TARGET dravo_fixpt)
    target_link_libraries(${ARG_NAME} PRIVATE dravo_fixpt)
  endif()
  target_link_options(${ARG_NAME} PRIVATE -Wl,--no-undefined)
endfunction()
