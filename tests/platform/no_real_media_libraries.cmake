# cmake -DPROGRAM=<executable> -P no_real_media_libraries.cmake
# Fails when the program loads a media library, directly or through another library: unit tests
# run against the scripted stand-in alone and must build and run where no media library is.
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE loaded ERROR_VARIABLE error
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ldd ${PROGRAM} failed (${result}): ${error}")
endif()
string(REGEX MATCHALL
  "lib(avcodec|avformat|avutil|swresample|x264|spng|pulse|halvex_windows_media)[^ \t\n]*\\.so"
  media "${loaded}")
if(media)
  list(REMOVE_DUPLICATES media)
  message(FATAL_ERROR "${PROGRAM} loads media libraries: ${media}\n${loaded}")
endif()
