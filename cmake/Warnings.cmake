# Compiler options shared by every target of the project.
add_library(tessaly_options INTERFACE)
target_compile_options(tessaly_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough -Wformat=2)
if(TESSALY_WERROR)
  target_compile_options(tessaly_options INTERFACE -Werror)
endif()
# Float-to-integer conversions that overflow are named explicitly: GCC leaves
# them out of "undefined". Every report stops the program.
set(TESSALY_SANITIZERS address,undefined,float-cast-overflow)
if(TESSALY_SANITIZE)
  target_compile_options(tessaly_options INTERFACE
    -fsanitize=${TESSALY_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tessaly_options INTERFACE -fsanitize=${TESSALY_SANITIZERS})
endif()
if(TESSALY_TSAN)
  if(TESSALY_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer and AddressSanitizer cannot be combined")
  endif()
  target_compile_options(tessaly_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(tessaly_options INTERFACE -fsanitize=thread)
endif()
if(TESSALY_FUZZ)
  # Instrument the libraries for coverage; the fuzz targets add the libFuzzer main.
  target_compile_options(tessaly_options INTERFACE
    -fsanitize=fuzzer-no-link,${TESSALY_SANITIZERS} -fno-sanitize-recover=all)
  target_link_options(tessaly_options INTERFACE -fsanitize=${TESSALY_SANITIZERS})
endif()

# tessaly_library(NAME DIR [SOURCES subdir] [LINKS ...] [DEFINES ...]): a static
# library of one subsystem made of every source file under DIR/src (or
# DIR/<subdir>), with DIR/include public.
function(tessaly_library name dir)
  cmake_parse_arguments(ARG "" "SOURCES" "LINKS;DEFINES" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES src)
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/${ARG_SOURCES}/*.cpp)
  if(NOT srcs)
    # A subsystem whose sources have not arrived yet still links.
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp "")
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${dir}/include)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE tessaly_options)
  if(ARG_DEFINES)
    target_compile_definitions(${name} PUBLIC ${ARG_DEFINES})
  endif()
endfunction()
