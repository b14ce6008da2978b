# The application server run in the test's process over a SQLite file, and rows seeded into it. It needs no
# test framework, so the benchmarks, which build without the test suites, make this library too.
add_library(bco_form_test_server STATIC ${CMAKE_CURRENT_LIST_DIR}/form_test_server.cpp)
target_link_libraries(bco_form_test_server PUBLIC bco_server bco_core Qt6::Sql)
# Demo databases that one test process built, for the next ones (each CTest test is a process of its own).
target_compile_definitions(bco_form_test_server PRIVATE BCO_TEST_CACHE_DIR="${CMAKE_BINARY_DIR}/test-cache")
target_include_directories(bco_form_test_server PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
bco_target_defaults(bco_form_test_server)
