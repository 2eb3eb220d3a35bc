# zq_add_test(NAME name SOURCES ... LIBS ... [X11] [TIMEOUT s])
# Widget tests run on the offscreen platform; X11 tests run in the X server
# that the test command starts (DISPLAY is passed on from the environment).
function(zq_add_test)
  cmake_parse_arguments(T "X11" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    ZQ_APP_DIR="${ZQ_APP_DIR}/" ZQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}/")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_X11)
    set_tests_properties(${T_NAME} PROPERTIES LABELS x11 RUN_SERIAL TRUE
      TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=xcb")
  else()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
