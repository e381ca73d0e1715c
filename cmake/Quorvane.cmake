# quorvane_library(<name> <folder> [DEPS ...] [PRIVATE_DEPS ...] [EXCLUDE <subfolder> ...])
# One library per source folder; every .cpp below the folder belongs to it, except
# those of the EXCLUDE subfolders (libraries of their own).
function(quorvane_library name folder)
  cmake_parse_arguments(Q "" "" "DEPS;PRIVATE_DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  foreach(excluded IN LISTS Q_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${folder}/${excluded}/")
  endforeach()
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${QUORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${Q_DEPS} PRIVATE ${Q_PRIVATE_DEPS})
endfunction()

# quorvane_tests(<label> <folder> [DEPS ...])
# One doctest executable per subsystem, each test case registered with ctest.
include(${doctest_DIR}/doctest.cmake)
function(quorvane_tests label folder)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  # The test discovery splits a name at ";" into names that run nothing.
  foreach(source IN LISTS sources)
    file(STRINGS ${source} split_names REGEX "TEST_CASE\\(\"[^\"]*;")
    if(split_names)
      message(FATAL_ERROR "${source}: a test name must not contain ';': ${split_names}")
    endif()
  endforeach()
  set(exe test_${label})
  add_executable(${exe} ${sources} ${PROJECT_SOURCE_DIR}/tests/support/doctest_main.cpp)
  target_compile_options(${exe} PRIVATE ${QUORVANE_WARNINGS})
  target_link_libraries(${exe} PRIVATE test_support ${Q_DEPS} doctest::doctest)
  doctest_discover_tests(${exe}
    TEST_PREFIX "${label}: "
    PROPERTIES LABELS ${label} TIMEOUT 300)
endfunction()
