# ju_add_tests(<prefix> <library> <files...>): one GoogleTest executable per test
# file, so a family's tests build and fail on their own.
function(ju_add_tests prefix library)
  foreach(file IN LISTS ARGN)
    get_filename_component(name "${file}" NAME_WE)
    set(target "${prefix}_${name}")
    add_executable(${target} ${file})
    target_link_libraries(${target} PRIVATE ${library} ju_test_main GTest::gtest GTest::gmock)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
  endforeach()
endfunction()
