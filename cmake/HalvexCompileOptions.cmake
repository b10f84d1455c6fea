# Compiler options shared by every target of the project, through halvex_add_options().

if(MSVC)
  # Sources are UTF-8 without a byte-order mark; __cplusplus tells the truth.
  set(HALVEX_WARNING_FLAGS /W4 /permissive- /utf-8 /Zc:__cplusplus)
  set(HALVEX_WERROR_FLAG /WX)
else()
  set(HALVEX_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                           -Wold-style-cast -Wcast-align -Woverloaded-virtual)
  set(HALVEX_WERROR_FLAG -Werror)
  # Clang checks the lock annotations of thread_annotations.h; other compilers ignore them.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    list(APPEND HALVEX_WARNING_FLAGS -Wthread-safety)
  endif()
endif()

if(HALVEX_SANITIZE AND MSVC)
  # MSVC has AddressSanitizer alone: the asan preset keeps it, a ThreadSanitizer build cannot be.
  if("thread" IN_LIST HALVEX_SANITIZE)
    message(FATAL_ERROR "MSVC has no ThreadSanitizer; build the tsan preset with GCC or Clang")
  endif()
  if("address" IN_LIST HALVEX_SANITIZE)
    add_compile_options(/fsanitize=address /Oy-)
  endif()
  if("undefined" IN_LIST HALVEX_SANITIZE)
    message(STATUS "MSVC has no UndefinedBehaviorSanitizer; building without it")
  endif()
elseif(HALVEX_SANITIZE)
  string(REPLACE ";" "," _halvex_sanitizers "${HALVEX_SANITIZE}")
  add_compile_options(-fsanitize=${_halvex_sanitizers} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_halvex_sanitizers})
endif()

# $<LINK_LIBRARY:HALVEX_LOAD_ALWAYS,lib>: links a shared library that a program needs loaded
# although none of its objects refers to it (it registers itself as it loads), which a linker
# that drops unreferenced libraries (--as-needed, the default on some systems) would leave out
# without a word. Defined here, as the link of every consumer reads it from its own directory.
if(NOT MSVC AND NOT APPLE)
  set(CMAKE_LINK_LIBRARY_USING_HALVEX_LOAD_ALWAYS
    "LINKER:--push-state,--no-as-needed" "<LINK_ITEM>" "LINKER:--pop-state")
  set(CMAKE_LINK_LIBRARY_USING_HALVEX_LOAD_ALWAYS_SUPPORTED TRUE)
endif()

# Applies the project's warning policy to one of our own targets (never to third-party code).
function(halvex_add_options target)
  target_compile_options(${target} PRIVATE ${HALVEX_WARNING_FLAGS})
  if(HALVEX_WERROR)
    target_compile_options(${target} PRIVATE ${HALVEX_WERROR_FLAG})
  endif()
endfunction()
