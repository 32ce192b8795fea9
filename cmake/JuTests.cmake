# ju_add_tests(<prefix> <library> <main> <files...>): one GoogleTest executable
# per test file, so a family's tests build and fail on their own, linked with
# the library under test and the test main (and support) of its level.
function(ju_add_tests prefix library main)
  foreach(file IN LISTS ARGN)
    get_filename_component(name "${file}" NAME_WE)
    set(target "${prefix}_${name}")
    add_executable(${target} ${file})
    target_link_libraries(${target} PRIVATE ${library} ${main} GTest::gtest GTest::gmock)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
  endforeach()
endfunction()
