# Real media behind the stand-in: PNG decoding, H.264/AAC MP4 writing and loopback capture, done
# by the system's media libraries.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HALVEX_MEDIA REQUIRED IMPORTED_TARGET
  spng zlib libavformat libavcodec libavutil libswresample libpulse)
target_link_libraries(halvex_windows_standin PRIVATE PkgConfig::HALVEX_MEDIA)

# The stand-in now decodes real PNG frames and writes real recordings: tests that check a
# recording's file may rely on it.
set_property(GLOBAL PROPERTY HALVEX_REAL_MEDIA ON)
