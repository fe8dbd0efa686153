# Checks every #include of the project against the table of allowed
# directions below and fails, listing file, line and rule, on any other.
#   cmake -DSOURCE_DIR=<repo> -DINPUTS=<layering_inputs.cmake> -P RunLayeringCheck.cmake
# INPUTS, written at configure time, sets `public_headers` (the installed
# headers, paths from the repository root) and `component_files` (entries
# "path=subsystem" from qva_component_subsystem in QVADyn/CMakeLists.txt).
#
# Layers, lowest first; a file may include its own layer and those listed:
#   vocabulary   internal/ headers that need nothing of the project
#   base         platform/base                       vocabulary
#   modeldb      platform/modeldb                    vocabulary base
#   matrix       platform/matrix                     vocabulary base modeldb
#   host         platform/host (host callbacks)      vocabulary base modeldb matrix
#   eigensolver  eigensolver_io                      vocabulary base export
#   component    QVADyn/QVADynCore, by subsystem     every layer above, and
#       frame <- modal <- events <- {harmonic, transient, respspectrum, random};
#       complex and exchange use frame and modal only.
# Further rules:
#   - a header in an impl/ folder is included only from inside the folder that
#     holds that impl/ (and from tests/ and bench/); the one crossing allowed
#     is listed in `impl_crossings`;
#   - an installed header includes only installed headers;
#   - every header of platform/, eigensolver_io/ and QVADyn/ outside impl/ is
#     installed, and every file of QVADyn/ belongs to a subsystem;
#   - examples/, apps/ and python/ (each checked when present) include only
#     installed headers and files of their own folder; the example host also
#     uses the application's headers (apps/qvadyn/), to write a basis file,
#     and the Python module is built over them;
#   - tests/ and bench/ may include anything.

cmake_minimum_required(VERSION 3.25)
include(${INPUTS})

# internal/ headers by the layer they sit in: a header there may include what
# its layer may, and is included wherever its layer may be.
set(internal_layers
  "internal/QVANumerics.h=vocabulary"
  "internal/QVAAssert.h=vocabulary"
  "internal/QVADataKinds.h=modeldb"
  "internal/QVABlas.h=matrix")

set(allowed_vocabulary "")
set(allowed_base vocabulary)
set(allowed_modeldb vocabulary base)
set(allowed_matrix vocabulary base modeldb)
set(allowed_host vocabulary base modeldb matrix)
set(allowed_eigensolver vocabulary base export)
set(component_allowed vocabulary base modeldb matrix host eigensolver export)
set(allowed_frame "")
set(allowed_modal frame)
set(allowed_events frame modal)
set(allowed_harmonic frame modal events)
set(allowed_transient frame modal events)
set(allowed_respspectrum frame modal events)
set(allowed_random frame modal events)
set(allowed_complex frame modal)
set(allowed_exchange frame modal)

# The component checks the eigensolver's mode-shape files record by record
# before it reads them through the public routines.
set(impl_crossings
  "QVADyn/QVADynCore/impl/QVADynKvrCopy.cpp>eigensolver_io/impl/QVADynKvrScratchFiles.h"
  "QVADyn/QVADynCore/impl/QVADynKvrCopy.cpp>eigensolver_io/impl/QVADynScratchRecordReader.h")

set(export_header QVADyn/QVADynCore/QVADynExport.h)
set(folders platform eigensolver_io QVADyn internal examples apps python tests bench)

foreach(entry IN LISTS component_files)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 path)
  list(GET pair 1 subsystem)
  set("subsystem_of_${path}" ${subsystem})
endforeach()
foreach(entry IN LISTS internal_layers)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 path)
  list(GET pair 1 layer)
  set("internal_layer_of_${path}" ${layer})
endforeach()

set(violations "")
macro(violation text)
  list(APPEND violations "${text}")
endmacro()

# The layer of a project file, or "" for files outside the layered library
# (tests, bench and host programs).
function(layer_of path result)
  set(layer "")
  if(path STREQUAL export_header)
    set(layer export)
  elseif(path MATCHES "^platform/(base|modeldb|matrix|host)/")
    set(layer ${CMAKE_MATCH_1})
  elseif(path MATCHES "^eigensolver_io/")
    set(layer eigensolver)
  elseif(path MATCHES "^QVADyn/")
    set(layer "${subsystem_of_${path}}")
    if(layer STREQUAL "")
      set(layer unassigned)
    endif()
  elseif(path MATCHES "^internal/")
    set(layer "${internal_layer_of_${path}}")
    if(layer STREQUAL "")
      set(layer unassigned)
    endif()
  endif()
  set(${result} "${layer}" PARENT_SCOPE)
endfunction()

set(component_subsystems frame modal events harmonic transient respspectrum random complex
    exchange)

# All files, and a map from base name to path for includes by bare name.
set(files "")
foreach(folder IN LISTS folders)
  if(EXISTS ${SOURCE_DIR}/${folder})
    file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR} "${SOURCE_DIR}/${folder}/*.h"
         "${SOURCE_DIR}/${folder}/*.hpp" "${SOURCE_DIR}/${folder}/*.cpp"
         "${SOURCE_DIR}/${folder}/*.cc")
    list(APPEND files ${found})
  endif()
endforeach()
foreach(path IN LISTS files)
  get_filename_component(name ${path} NAME)
  list(APPEND "paths_named_${name}" ${path})
endforeach()

foreach(path IN LISTS files)
  layer_of(${path} from_layer)
  if(from_layer STREQUAL "unassigned")
    if(path MATCHES "^internal/")
      violation("${path}: internal header without a layer in RunLayeringCheck.cmake")
    else()
      violation("${path}: belongs to no subsystem (qva_component_subsystem in QVADyn/CMakeLists.txt)")
    endif()
    continue()
  endif()
  set(is_public FALSE)
  if(path IN_LIST public_headers)
    set(is_public TRUE)
  elseif(path MATCHES "^(platform|eigensolver_io|QVADyn)/.*\\.h$" AND NOT path MATCHES "/impl/"
         AND NOT path MATCHES "^eigensolver_io/fuzz/")
    violation("${path}: header outside impl/ that is not installed (qva_public_headers)")
  endif()
  string(REGEX MATCH "^(examples|apps|python)/" host_program "${path}")
  get_filename_component(directory ${path} DIRECTORY)

  file(STRINGS ${SOURCE_DIR}/${path} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(quoted "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    # Resolve: from the repository root, beside the including file, or by a
    # unique base name (the private include folder of the component).
    set(target "")
    set(root "")
    if(name MATCHES "^([A-Za-z_]+)/")
      set(root ${CMAKE_MATCH_1})
    endif()
    if(root IN_LIST folders)
      set(target ${name})
    elseif(quoted STREQUAL "\"" AND EXISTS ${SOURCE_DIR}/${directory}/${name})
      file(RELATIVE_PATH target ${SOURCE_DIR} ${SOURCE_DIR}/${directory}/${name})
    else()
      get_filename_component(base ${name} NAME)
      list(LENGTH "paths_named_${base}" count)
      if(count EQUAL 1 AND NOT name MATCHES "/")
        set(target "${paths_named_${base}}")
      elseif(count GREATER 1 AND NOT name MATCHES "/")
        violation("${path}: #include \"${name}\" is ambiguous; name it from the repository root")
        continue()
      endif()
    endif()
    if(target STREQUAL "")
      continue()  # the standard library or a dependency
    endif()
    if(NOT EXISTS ${SOURCE_DIR}/${target} AND NOT target STREQUAL export_header)
      violation("${path}: #include \"${name}\": no such file in the repository")
      continue()
    endif()
    set(where "${path}: #include \"${name}\"")

    # impl/ headers stay inside the folder that holds them.
    if(target MATCHES "^(.*)/impl/")
      set(owner "${CMAKE_MATCH_1}/")
      string(FIND "${path}" "${owner}" position)
      if(NOT position EQUAL 0 AND NOT path MATCHES "^(tests|bench)/"
         AND NOT "${path}>${target}" IN_LIST impl_crossings)
        violation("${where}: a header of ${owner}impl/ is private to ${owner}")
      endif()
    endif()

    if(is_public AND NOT target IN_LIST public_headers AND NOT target STREQUAL export_header)
      violation("${where}: an installed header includes a header that is not installed")
    endif()

    if(host_program)
      if(NOT target IN_LIST public_headers AND NOT target STREQUAL export_header
         AND NOT target MATCHES "^${host_program}"
         AND NOT (host_program MATCHES "^(examples|python)/$" AND target MATCHES "^apps/qvadyn/"))
        violation("${where}: ${host_program} uses installed headers only")
      endif()
      continue()
    endif()

    if("${from_layer}" STREQUAL "")
      continue()  # tests and benchmarks
    endif()
    layer_of(${target} to_layer)
    if("${to_layer}" STREQUAL "" OR to_layer STREQUAL "unassigned")
      violation("${where}: the library includes ${target}, which is outside it")
      continue()
    endif()
    if(to_layer STREQUAL from_layer)
      continue()
    endif()
    if(from_layer IN_LIST component_subsystems)
      set(allowed ${component_allowed} ${allowed_${from_layer}})
    else()
      set(allowed ${allowed_${from_layer}})
    endif()
    if(NOT to_layer IN_LIST allowed)
      violation("${where}: layer ${from_layer} may not use layer ${to_layer}")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(violations)
  list(LENGTH violations violation_count)
  list(JOIN violations "\n  " listing)
  message(FATAL_ERROR "${violation_count} include(s) against the layering rules:\n  ${listing}")
endif()
message(STATUS "${count} files follow the layering rules")
