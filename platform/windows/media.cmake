# Real media behind the stand-in: PNG decoding, H.264/AAC MP4 writing and loopback capture, done
# by the system's media libraries. They live in a library of their own, so that only the programs
# that need real media load them; the stand-in alone is scripted only.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HALVEX_MEDIA REQUIRED IMPORTED_TARGET
  spng zlib libavformat libavcodec libavutil libswresample libpulse)

file(GLOB halvex_windows_media_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/media/*.cc)
add_library(halvex_windows_media_library SHARED ${halvex_windows_media_sources})
set_target_properties(halvex_windows_media_library PROPERTIES OUTPUT_NAME halvex_windows_media)
target_include_directories(halvex_windows_media_library
  PUBLIC media
  PRIVATE src testing_include)
target_link_libraries(halvex_windows_media_library
  PUBLIC halvex_windows_standin
  PRIVATE PkgConfig::HALVEX_MEDIA)
halvex_add_options(halvex_windows_media_library)

# What a program links to have the real back ends. Nothing calls into the library: it registers
# its back ends as it is loaded, so it is linked with HALVEX_LOAD_ALWAYS (see
# HalvexCompileOptions.cmake), which a linker dropping unreferenced libraries cannot leave out.
add_library(halvex_windows_media INTERFACE)
target_link_libraries(halvex_windows_media INTERFACE
  "$<LINK_LIBRARY:HALVEX_LOAD_ALWAYS,halvex_windows_media_library>")

# Programs that link halvex_windows_media decode real PNG frames and write real recordings: tests
# that check a recording's file may rely on it.
set_property(GLOBAL PROPERTY HALVEX_REAL_MEDIA ON)
