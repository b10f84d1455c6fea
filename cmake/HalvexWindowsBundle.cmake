# The Windows bundle: what `cmake --install` lays out and `cpack -G ZIP` packs, a folder a person
# copies to a Windows machine and runs halvex.exe from. Windows looks for a program's DLLs beside
# it, so everything lands in one folder, with the application and the engine's data in data/.
# Tests, benchmarks and fuzzers install nothing.

# A cross build's default prefix is a system folder of the build host, no place for a Windows
# bundle: without --prefix, `cmake --install` lays it out in the build tree's install/ instead.
if(CMAKE_CROSSCOMPILING AND CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/install CACHE PATH "Where the bundle is laid out"
      FORCE)
endif()

# mingw-w64 binaries may import the compiler's own runtime DLLs; they are gathered below.
set(halvex_bundle_runtime_set)
if(MINGW)
  set(halvex_bundle_runtime_set RUNTIME_DEPENDENCY_SET halvex_bundle_runtime)
endif()

install(TARGETS
  halvex
  halvex_finish_recording
  halvex_engine_standin
  flutter_webrtc_plugin
  gal_plugin
  permission_handler_windows_plugin
  url_launcher_windows_plugin
  ${halvex_bundle_runtime_set}
  RUNTIME DESTINATION .
  # Import libraries serve only linking against the DLLs, which nobody does from the bundle.
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)

# The engine loads data/app.so and is handed data/icudtl.dat and data/flutter_assets/.
install(TARGETS halvex_demo_app
  ${halvex_bundle_runtime_set}
  RUNTIME DESTINATION data
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/app/placeholders/icudtl.dat DESTINATION data)
install(FILES ${PROJECT_SOURCE_DIR}/app/placeholders/AssetManifest.json
        DESTINATION data/flutter_assets)

if(MINGW)
  # The compiler's own runtime DLLs (C++ runtime, libgcc, threads) that any of the binaries import.
  # The toolchain links them statically today, so usually none is needed; should that change, they
  # are found where the compiler keeps them. Every other import is a Windows system DLL or one of
  # ours above, which must not be looked for on the build host.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-search-dirs
                  OUTPUT_VARIABLE halvex_compiler_search_dirs
                  RESULT_VARIABLE halvex_compiler_search_status)
  set(halvex_compiler_library_dirs)
  if(halvex_compiler_search_status EQUAL 0 AND
     halvex_compiler_search_dirs MATCHES "libraries: =([^\n]*)")
    string(REPLACE ":" ";" halvex_compiler_library_dirs "${CMAKE_MATCH_1}")
  endif()
  set(halvex_compiler_dll_patterns)
  foreach(directory IN LISTS halvex_compiler_library_dirs)
    file(GLOB halvex_compiler_dlls RELATIVE ${directory} ${directory}/*.dll)
    foreach(dll IN LISTS halvex_compiler_dlls)
      string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" dll_pattern "${dll}")
      list(APPEND halvex_compiler_dll_patterns "^${dll_pattern}$")
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES halvex_compiler_dll_patterns)

  # The build host cannot read Windows executables with its own tools: use the cross objdump.
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})
  install(RUNTIME_DEPENDENCY_SET halvex_bundle_runtime
    DESTINATION .
    DIRECTORIES ${halvex_compiler_library_dirs}
    PRE_INCLUDE_REGEXES ${halvex_compiler_dll_patterns}
    PRE_EXCLUDE_REGEXES ".*")
endif()

# packages/halvex-<version>-win64.zip holding one folder of the same name, as a person expects
# from a zip: unpacking it makes one folder, not a spray of files. HALVEX_BUNDLE_ZIP names it for
# the test that unpacks and runs it (CPack's own variables change as it includes itself).
set(HALVEX_BUNDLE_NAME halvex-${PROJECT_VERSION}-win64)
set(HALVEX_BUNDLE_ZIP ${CMAKE_BINARY_DIR}/packages/${HALVEX_BUNDLE_NAME}.zip)
set(CPACK_PACKAGE_NAME halvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${HALVEX_BUNDLE_NAME})
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
get_filename_component(CPACK_PACKAGE_DIRECTORY ${HALVEX_BUNDLE_ZIP} DIRECTORY)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
