# One static library per source folder, named velmora_<folder>; every .cpp of the folder belongs to it.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(velmora_${name} STATIC ${sources})
  target_include_directories(velmora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(velmora_${name} PUBLIC ${ARG_LINKS} PRIVATE velmora_strict_warnings)
endfunction()

# One GoogleTest executable per test folder; every case is registered with CTest, labelled with the
# folder's name, or "threads" where the code under test runs threads of its own (those suites also
# run under ThreadSanitizer). With LONGRUN, the cases of test suites whose name ends in "LongRun"
# (minutes of reconnections and the like) are labelled "longrun" instead and get a longer time limit.
function(velmora_test_suite name)
  cmake_parse_arguments(ARG "THREADS;LONGRUN" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  add_executable(velmora_${name}_tests ${sources})
  target_link_libraries(velmora_${name}_tests PRIVATE velmora_test_main velmora_strict_warnings ${ARG_LINKS})
  # CMake 3.25 passes the discovered tests' properties on as one flat list, so every property
  # has a single value: one environment variable and one label.
  set(label ${name})
  if(ARG_THREADS)
    set(label threads)
  endif()
  set(filter)
  if(ARG_LONGRUN)
    gtest_discover_tests(velmora_${name}_tests
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "*LongRun.*"
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                 TIMEOUT 300
                 LABELS longrun)
    set(filter TEST_FILTER "-*LongRun.*")
  endif()
  gtest_discover_tests(velmora_${name}_tests
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    ${filter}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               TIMEOUT 120
               LABELS ${label})
endfunction()
