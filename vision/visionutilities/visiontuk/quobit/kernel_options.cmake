# The floating kernel units with their instruction-set options, shared by the plug-in and its benchmark.
# QUOBIT_DIR must name this folder. Source properties are per directory, hence a macro to call there.
# No errno from sqrt, so the minimum-eigenvalue root vectorises; a correctly rounded root either way.
macro(quobit_kernel_sources out)
  set(${out}
    ${QUOBIT_DIR}/eigenkernel_generic.cpp
    ${QUOBIT_DIR}/eigenkernel_avx2.cpp
    ${QUOBIT_DIR}/eigenkernel_select.cpp)
  set_source_files_properties(${QUOBIT_DIR}/eigenkernel_generic.cpp PROPERTIES COMPILE_OPTIONS "-O3;-fno-math-errno")
  set_source_files_properties(${QUOBIT_DIR}/eigenkernel_avx2.cpp PROPERTIES COMPILE_OPTIONS "-O3;-mavx2;-fno-math-errno")
endmacro()
