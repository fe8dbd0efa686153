# Compiler warnings and sanitizer flags, attached to targets rather than set
# globally so that third-party code is not affected.
function(qva_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  # GCC 12 reports -Wrestrict false positives inside std::string concatenation
  # when inlining at -O3 (GCC bug 105651).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(QVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(QVA_SANITIZERS)
  string(REPLACE ";" "," QVA_SANITIZER_LIST "${QVA_SANITIZERS}")
  add_compile_options(-fsanitize=${QVA_SANITIZER_LIST} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QVA_SANITIZER_LIST})
endif()

# qva_add_test(<name> SOURCES <files...> LABELS <labels...> [LIBRARIES <libs...>])
# Builds one GoogleTest program from the given sources, links it against the
# internal (static) twin of the component, and registers it with CTest.
function(qva_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE QVADynModalComponentInternal QVATestSupport
                        ${ARG_LIBRARIES})
  qva_target_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}"
    ENVIRONMENT "OPENBLAS_NUM_THREADS=1;ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# qva_add_benchmark(<name> SOURCES <files...>)
function(qva_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE QVADynModalComponentInternal benchmark::benchmark
                        ${ARG_LIBRARIES})
  qva_target_warnings(${name})
endfunction()

# qva_public_headers(<headers...>)
# Names headers of the calling folder as part of the installed API: they are
# installed under include/ at their path in the source tree. Every header not
# named here stays behind; the layering test checks that each header outside
# impl/ and internal/ folders is named.
function(qva_public_headers)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(header IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "qva_public_headers: no ${folder}/${header}")
    endif()
    set_property(GLOBAL APPEND PROPERTY QVA_PUBLIC_HEADERS ${folder}/${header})
  endforeach()
endfunction()
