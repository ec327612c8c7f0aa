# Shared compile settings, linked PRIVATE to every target.

# Warnings, as errors unless IMPACTSIM_WERROR is off.
add_library(impactsim_warnings INTERFACE)
target_compile_options(impactsim_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wpedantic
  -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wnull-dereference
  -Wdouble-promotion -Wimplicit-fallthrough
  $<$<BOOL:${IMPACTSIM_WERROR}>:-Werror>)

# Floating point: a seed must give the same run on every build and machine, so
# no contraction into fused multiply-adds and no fast-math; on 32-bit x86 use
# SSE2 doubles rather than the x87 unit.
add_library(impactsim_options INTERFACE)
target_compile_options(impactsim_options INTERFACE
  -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i.86")
  target_compile_options(impactsim_options INTERFACE -msse2 -mfpmath=sse)
endif()
if(IMPACTSIM_SANITIZE)
  target_compile_options(impactsim_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(impactsim_options INTERFACE -fsanitize=address,undefined)
endif()
# WebAssembly (the web edition's engine, web/): one instruction set, its
# 128-bit SIMD, for the kernels and everything else; and C++ exceptions,
# by which bad input is reported.
if(EMSCRIPTEN)
  target_compile_options(impactsim_options INTERFACE -msimd128 -fexceptions)
  target_link_options(impactsim_options INTERFACE -fexceptions)
endif()
