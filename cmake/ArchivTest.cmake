# archiv_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
function(archiv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ARCHIVD_BIN=$<TARGET_FILE:archivd>;ARCHIV_RENDER=$<TARGET_FILE:archiv>;ARCHIV_TESTDATA=${PROJECT_SOURCE_DIR}/tests/data;ARCHIV_EINVOICE=${PROJECT_SOURCE_DIR}/../shared/einvoice"
    TIMEOUT 300)
endfunction()
