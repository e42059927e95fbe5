# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target carries the language level, warnings and defines for
# every target of the project.
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(VARROW_WERROR "Treat warnings as errors" OFF)
option(VARROW_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)
option(VARROW_TSAN "Build with the thread sanitizer" OFF)
option(VARROW_FUZZ "Build the libFuzzer targets (clang) with the sanitizers" OFF)
option(VARROW_FULL_DEBUG_INFO "Full debug info in the sanitizer and fuzz builds too" OFF)
if(VARROW_SANITIZE AND VARROW_TSAN)
  message(FATAL_ERROR "The thread sanitizer does not go with the address sanitizer")
endif()

add_library(varrow_common INTERFACE)
target_compile_features(varrow_common INTERFACE cxx_std_20)
target_compile_options(varrow_common INTERFACE -Wall -Wextra -Wpedantic)
if(VARROW_WERROR)
  target_compile_options(varrow_common INTERFACE -Werror)
endif()
target_compile_definitions(varrow_common INTERFACE
  VARROW_VERSION="${PROJECT_VERSION}"
  $<$<OR:$<CONFIG:Debug>,$<BOOL:${VARROW_SANITIZE}>,$<BOOL:${VARROW_TSAN}>>:_GLIBCXX_ASSERTIONS>)

# The hardening Debian's build flags give its packages, for the optimised
# builds: checked string and memory calls (which need the optimiser), stack
# protectors, and relocations resolved at start and then made read-only.
# The sanitizer and fuzz builds bring checks of their own that these would
# get in the way of.
if(NOT (VARROW_SANITIZE OR VARROW_TSAN OR VARROW_FUZZ))
  set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
  target_compile_options(varrow_common INTERFACE
    "$<${optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  target_link_options(varrow_common INTERFACE "$<${optimised}:LINKER:-z,relro,-z,now>")
endif()

# The sanitizer and fuzz builds are there to find faults, and their reports
# need no more than file and line, which line tables give; full debug info
# (variables, types) costs a fifth of their compile time and a quarter of
# their objects' size. VARROW_FULL_DEBUG_INFO keeps it, for a debugger.
if((VARROW_SANITIZE OR VARROW_TSAN OR VARROW_FUZZ) AND NOT VARROW_FULL_DEBUG_INFO)
  target_compile_options(varrow_common INTERFACE -g1)
endif()

if(VARROW_SANITIZE)
  target_compile_options(varrow_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(varrow_common INTERFACE -fsanitize=address,undefined)
endif()

if(VARROW_TSAN)
  target_compile_options(varrow_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(varrow_common INTERFACE -fsanitize=thread)
endif()

if(VARROW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer)")
  endif()
  # Everything is instrumented for coverage; only the fuzz targets link
  # libFuzzer's main.
  target_compile_options(varrow_common INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(varrow_common INTERFACE -fsanitize=address,undefined)
endif()
