# Compile options of the kernel members, shared by the plug-in, its tests and its benchmark.
# UBRIN_DIR must name this folder. Source properties are per directory, hence a macro to call there.
macro(ubrin_kernel_sources out)
  set(${out}
    ${UBRIN_DIR}/conversion_rule.cpp
    ${UBRIN_DIR}/kernel_selection.cpp
    ${UBRIN_DIR}/kernel_members_generic.cpp
    ${UBRIN_DIR}/kernel_members_avx2.cpp
    ${UBRIN_DIR}/kernel_members_avx512.cpp)
  set_source_files_properties(${UBRIN_DIR}/kernel_members_generic.cpp PROPERTIES COMPILE_OPTIONS "-O3")
  set_source_files_properties(${UBRIN_DIR}/kernel_members_avx2.cpp PROPERTIES COMPILE_OPTIONS "-O3;-mavx2")
  set_source_files_properties(${UBRIN_DIR}/kernel_members_avx512.cpp PROPERTIES COMPILE_OPTIONS
    "-O3;-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mprefer-vector-width=512")
endmacro()
