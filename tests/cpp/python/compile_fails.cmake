# Runs COMMAND ("|" between its arguments) and passes when it fails with
# output matching every regular expression in EXPECT ("|"-free, ";" between).
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  message(FATAL_ERROR "compiled, but should not have:\n${command}")
endif()
foreach(expected IN LISTS EXPECT)
  if(NOT output MATCHES "${expected}")
    message(FATAL_ERROR "the compiler's output lacks \"${expected}\":\n${output}")
  endif()
endforeach()
