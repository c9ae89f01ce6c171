# Compiler settings shared by every target of the suite.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
endif()

add_compile_options(-Wall -Wextra)
# Libraries export only what they mark for export.
set(CMAKE_CXX_VISIBILITY_PRESET default)

if(KALMUTH_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer cannot share a build with AddressSanitizer. Qt itself is not instrumented: the
# suppressions in cmake/tsan.supp name only Qt's libraries, never our code.
if(KALMUTH_TSAN)
  if(KALMUTH_SANITIZE)
    message(FATAL_ERROR "KALMUTH_TSAN and KALMUTH_SANITIZE exclude each other: configure a build folder for each")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
