# Checks that every C++ source of the project follows .clang-format: runs
# clang-format in dry-run mode over the sources below SOURCE_DIR (build
# folders excluded) and fails, listing the places, when any would change.
#   cmake -DCLANG_FORMAT=/usr/bin/clang-format -DSOURCE_DIR=<repo> -P RunFormatCheck.cmake
set(folders platform QVADyn eigensolver_io tests bench examples apps)
set(sources)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE found "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
  list(APPEND sources ${found})
endforeach()
list(LENGTH sources count)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                RESULT_VARIABLE result ERROR_VARIABLE messages)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${messages}\nSources that do not follow .clang-format (see above); "
                      "run: clang-format -i <file>")
endif()
message(STATUS "${count} sources follow .clang-format")
