#include "engine_host/engine_project.h"

EngineProject::EngineProject(const std::wstring& data_directory)
    : asset_directory(data_directory + L"\\flutter_assets"),
      icu_data_file(data_directory + L"\\icudtl.dat"),
      aot_library_file(data_directory + L"\\app.so") {}
