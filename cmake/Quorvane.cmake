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

# quorvane_platform_layer(<folder> [DEPS <folder> ...] [LIBS ...] [PRIVATE_LIBS ...])
# One library per folder of src/platform, named platform_<folder>, linked to
# the folders it uses (DEPS) and to its backing libraries (LIBS when its headers
# show them, else PRIVATE_LIBS). The layers point downwards only: a folder may
# name only folders declared before it, so the declaration order is the layer
# order and a cycle cannot be declared. Each folder's headers are published in
# an include tree of their own (a link <build>/layers/<folder>/platform/<folder>
# to the source folder), and a folder's sources see only that tree and those of
# the folders below it that it depends on: an include of a folder above it, or
# of one it does not declare, fails to compile.
function(quorvane_platform_layer folder)
  cmake_parse_arguments(Q "" "" "DEPS;LIBS;PRIVATE_LIBS" ${ARGN})
  set(name platform_${folder})
  set(source_dir ${PROJECT_SOURCE_DIR}/src/platform/${folder})
  set(include_root ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${include_root}/platform)
  file(CREATE_LINK ${source_dir} ${include_root}/platform/${folder} SYMBOLIC)
  set(layer_deps)
  foreach(dep IN LISTS Q_DEPS)
    if(NOT TARGET platform_${dep})
      message(FATAL_ERROR "platform/${folder} depends on platform/${dep}, which is not declared below it")
    endif()
    list(APPEND layer_deps platform_${dep})
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${source_dir}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${include_root})
  target_compile_options(${name} PRIVATE ${QUORVANE_WARNINGS})
  target_link_libraries(${name} PUBLIC ${layer_deps} ${Q_LIBS} PRIVATE ${Q_PRIVATE_LIBS})
endfunction()

# quorvane_tests(<label> <folder> [DEPS ...])
# One doctest executable per subsystem, each test case registered with ctest.
include(${doctest_DIR}/doctest.cmake)
function(quorvane_tests label folder)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  # The test discovery splits a name at ";" into names that run nothing. A name
  # is read up to its closing quote, past escaped quotes and backslashes.
  foreach(source IN LISTS sources)
    file(STRINGS ${source} split_names REGEX "TEST_CASE\\(\"([^\"\\\\]|\\\\.)*;")
    if(split_names)
      message(FATAL_ERROR "${source}: a test name must not contain ';': ${split_names}")
    endif()
  endforeach()
  set(exe test_${label})
  add_executable(${exe} ${sources} ${PROJECT_SOURCE_DIR}/tests/support/doctest_main.cpp)
  target_compile_options(${exe} PRIVATE ${QUORVANE_WARNINGS})
  target_link_libraries(${exe} PRIVATE test_support ${Q_DEPS} doctest::doctest)
  # A registered name that matches no test case would pass having run nothing.
  set(properties LABELS ${label} TIMEOUT 300 FAIL_REGULAR_EXPRESSION "test cases: +0 [|]")
  # Leak checks skip what the web engine's own libraries keep, and the thread
  # checker what the uninstrumented engine and GLib do among their own threads
  # (see the files). Children started by a test get the same settings
  # (tests/support/ApplicationProcess.h).
  if(QUORVANE_SANITIZE MATCHES "address")
    list(APPEND properties ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizers/lsan-engine.supp:print_suppressions=0")
  endif()
  if(QUORVANE_SANITIZE MATCHES "thread")
    list(APPEND properties ENVIRONMENT
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizers/tsan-engine.supp:print_suppressions=0")
  endif()
  doctest_discover_tests(${exe}
    TEST_PREFIX "${label}: "
    PROPERTIES ${properties})
endfunction()
