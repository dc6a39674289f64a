find_package(benchmark REQUIRED)

# A whole automatic run from the command line, timed.
add_executable(brennock_run ${CMAKE_CURRENT_SOURCE_DIR}/brennock_run.cpp)
target_link_libraries(brennock_run PRIVATE Brennock)

# Writes a series of shifted star-field frames to run it on.
add_executable(brennock_make_series ${CMAKE_CURRENT_SOURCE_DIR}/brennock_make_series.cpp)
target_link_libraries(brennock_make_series PRIVATE TestSupport)

# One frame's coarse and fine search, decode excluded.
add_executable(brennock_search_bench ${CMAKE_CURRENT_SOURCE_DIR}/brennock_search_bench.cpp)
target_link_libraries(brennock_search_bench PRIVATE Brennock TestSupport benchmark::benchmark)
