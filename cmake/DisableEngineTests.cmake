# Run by ctest in the thread-checked build (see quorvane_tests in Quorvane.cmake):
# disables the tests of the executable EXE that belong to the doctest suite
# "engine" (they drive the web engine), each registered as PREFIX + its name.
execute_process(COMMAND "${EXE}" --test-suite=engine --list-test-cases
  OUTPUT_VARIABLE listed RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  return()  # not built yet: nothing to leave out
endif()
string(REPLACE "\n" ";" listed "${listed}")
foreach(name IN LISTS listed)
  if(name STREQUAL "" OR name MATCHES "^\\[doctest\\]" OR name MATCHES "^=+$")
    continue()
  endif()
  set_tests_properties("${PREFIX}${name}" PROPERTIES DISABLED TRUE)
endforeach()
