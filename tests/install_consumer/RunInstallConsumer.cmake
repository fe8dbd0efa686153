# Installs the component into a fresh prefix, builds the consumer project
# against the installed package only, runs it, and checks that the installed
# headers are complete and that the shared library exports the API and hides
# the internals. Run as
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=...
#         -DCXX_COMPILER=... -DSANITIZERS=... -DNM=... -P RunInstallConsumer.cmake

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run_checked(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# A sanitized library needs a sanitized host, so that the sanitizer runtime is
# loaded first.
set(consumer_flags)
if(SANITIZERS)
  string(REPLACE ";" "," sanitizer_list "${SANITIZERS}")
  set(consumer_flags -DCMAKE_CXX_FLAGS=-fsanitize=${sanitizer_list}
      -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${sanitizer_list})
endif()
run_checked(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install_consumer -B ${consumer_build}
            -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
            -DCMAKE_BUILD_TYPE=Release ${consumer_flags})
run_checked(${CMAKE_COMMAND} --build ${consumer_build})
run_checked(${consumer_build}/QVADynInstallConsumer ${WORK_DIR}/consumer.log)
message(STATUS "${run_output}")
file(READ ${WORK_DIR}/consumer.log log_text)
if(NOT log_text STREQUAL "\n--- Solve dynamic system ---\n\n")
  message(FATAL_ERROR "unexpected log text: '${log_text}'")
endif()

# Only the API is installed: no header from an impl/ or internal/ folder, none
# that is not a public header at the same path in the source tree (a private
# header copied elsewhere), none whose opening comment calls it internal. Every
# installed header finds what it includes in the installed tree (each one
# compiling on its own is checked in the source tree).
file(GLOB_RECURSE installed_headers RELATIVE ${prefix}/include ${prefix}/include/*.h)
list(LENGTH installed_headers header_count)
if(header_count EQUAL 0)
  message(FATAL_ERROR "no headers installed")
endif()
set(all_headers "")
set(internal_headers "")
foreach(header IN LISTS installed_headers)
  file(READ ${prefix}/include/${header} text)
  string(REGEX MATCH "^(#pragma once\n|//[^\n]*\n|\n)*" banner "${text}")
  if(header MATCHES "(^|/)(impl|internal)/")
    list(APPEND internal_headers "${header} (private folder)")
  elseif(NOT EXISTS ${SOURCE_DIR}/${header} AND NOT header STREQUAL "QVADyn/QVADynCore/QVADynExport.h")
    list(APPEND internal_headers "${header} (no public header at this path in the source tree)")
  elseif(banner MATCHES "[Ii]nternal")
    list(APPEND internal_headers "${header} (its opening comment calls it internal)")
  endif()
  string(APPEND all_headers "#include \"${header}\"\n")
endforeach()
if(internal_headers)
  list(JOIN internal_headers "\n  " listing)
  message(FATAL_ERROR "internal headers installed:\n  ${listing}")
endif()
file(WRITE ${WORK_DIR}/all_headers.cpp "${all_headers}")
run_checked(${CXX_COMPILER} -std=c++20 -fsyntax-only -I${prefix}/include ${WORK_DIR}/all_headers.cpp)

# Exported symbols: the lifecycle functions and the log handle are there, the
# component's internal helpers are not.
file(GLOB library ${prefix}/lib*/libQVADynModalComponent.so)
run_checked(${NM} -D -C --defined-only ${library})
set(symbols "${run_output}")
foreach(expected IN ITEMS "QVADynModalComponent_initialize(int&)"
        "QVADynModalComponent_finalize(int&)" "QVADynLogFile::Open(char const*)"
        "QVADynLogFile::Write(cow_String) const" "QVADynLogFile::QVADynLogFile(QVADynLogFile const&)"
        "QVADynLogFile::operator=(QVADynLogFile const&)" "QVADynLogFile::~QVADynLogFile()"
        "typeinfo for QVADynMultipleCallsException" "typeinfo for QVABasException")
  string(FIND "${symbols}" "${expected}" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "not exported: ${expected}")
  endif()
endforeach()
foreach(hidden IN ITEMS "QVADynTranslatedOperationName" "QVADynTranslatedMessage"
        "gComponentStartCount" "(anonymous namespace)" "QVADynLogFile::Record")
  string(FIND "${symbols}" "${hidden}" position)
  if(NOT position EQUAL -1)
    message(FATAL_ERROR "internal symbol exported: ${hidden}")
  endif()
endforeach()
message(STATUS "installed ${header_count} headers; consumer built and ran")
