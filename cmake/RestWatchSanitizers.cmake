# Sanitized builds. RESTWATCH_SANITIZE instruments every target of the project (libraries,
# programs and tests) with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the
# test that ran into it. RESTWATCH_FUZZ instruments the same way for libFuzzer, which only clang
# has.
if(RESTWATCH_SANITIZE OR RESTWATCH_FUZZ)
  set(restwatch_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Qt's metatype tables call through function pointers of a related type by design.
    list(APPEND restwatch_sanitizers -fno-sanitize=function,vptr)
  endif()
  add_compile_options(${restwatch_sanitizers})
  add_link_options(-fsanitize=address,undefined)
endif()
if(RESTWATCH_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "RESTWATCH_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Libraries get the coverage hooks; only the fuzz executables link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# restwatch_uninstrumented_drivers(): for the folder it is called in (tests, benchmarks). The
# product's libraries and programs carry the sanitizers; the drivers that exercise them are built
# plain and unoptimised, which halves a sanitized build. Their calls into the product still run
# instrumented code, and the product's programs they start are instrumented throughout.
macro(restwatch_uninstrumented_drivers)
  if(RESTWATCH_SANITIZE)
    add_compile_options(-fno-sanitize=all -O0 -g0)
  endif()
endmacro()
