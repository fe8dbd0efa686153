# Tests of the engineering pieces of qvadyn: CalculiX import, response
# spectra, random response, XDMF and plots.
function(qva_add_engineering_test name)
  add_executable(${name} ${ARGN} ${PROJECT_SOURCE_DIR}/tests/support/QVATestMain.cpp)
  target_link_libraries(${name} PRIVATE QVADynApp GTest::gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    QVA_APP_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data" QVA_PYTHON="/usr/bin/python3")
  qva_target_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS app
    ENVIRONMENT "OPENBLAS_NUM_THREADS=1;ASAN_OPTIONS=detect_leaks=1"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

qva_add_engineering_test(QVADynAppCalculixImportTest CalculixImportTest.cpp)
qva_add_engineering_test(QVADynAppResponseSpectrumTest ResponseSpectrumAnalysisTest.cpp)
qva_add_engineering_test(QVADynAppRandomTest RandomAnalysisTest.cpp)
target_compile_definitions(QVADynAppRandomTest PRIVATE
  QVA_REFERENCE_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/random_reference.py")

add_test(NAME QVADynAppEngineeringTest
  COMMAND /usr/bin/python3 -m pytest -q -p no:cacheprovider
          ${CMAKE_CURRENT_SOURCE_DIR}/test_qvadyn_engineering.py)
set_tests_properties(QVADynAppEngineeringTest PROPERTIES LABELS app
  ENVIRONMENT "QVADYN=$<TARGET_FILE:qvadyn>;OPENBLAS_NUM_THREADS=1")
