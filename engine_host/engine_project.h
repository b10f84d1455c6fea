#ifndef HALVEX_ENGINE_HOST_ENGINE_PROJECT_H_
#define HALVEX_ENGINE_HOST_ENGINE_PROJECT_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Where the engine finds the application's files, and what the application is started with.
// A plain copyable value.
struct EngineProject {
  // Builds the three paths by appending "\flutter_assets", "\icudtl.dat" and "\app.so" to
  // `data_directory`, unchanged otherwise (a relative directory gives relative paths).
  explicit EngineProject(const std::wstring& data_directory);

  std::wstring asset_directory;
  std::wstring icu_data_file;
  std::wstring aot_library_file;
  std::string entrypoint;                         // UTF-8; empty runs the default entrypoint
  std::vector<std::string> entrypoint_arguments;  // UTF-8
  std::array<int32_t, 4> engine_options = {0, 0, 0, 0};
  uint8_t engine_option_flag = 0;
};

#endif  // HALVEX_ENGINE_HOST_ENGINE_PROJECT_H_
