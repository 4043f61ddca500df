# Adapting profile arguments to the FFmpeg at hand: what the build offers, learned from the
# program, and the rules that rewrite what it no longer takes.
add_library(kestrine_compat STATIC
    ${CMAKE_CURRENT_LIST_DIR}/FFmpegCapabilities.cpp ${CMAKE_CURRENT_LIST_DIR}/FFmpegCapabilities.h
    ${CMAKE_CURRENT_LIST_DIR}/ParamsAdapter.cpp ${CMAKE_CURRENT_LIST_DIR}/ParamsAdapter.h
)
target_link_libraries(kestrine_compat PUBLIC kestrine_base kestrine_platform Qt6::Core PRIVATE kestrine_warnings)

# The probes' timing, printed: kestrine_probe_bench [ffmpeg] [runs]
add_executable(kestrine_probe_bench ${PROJECT_SOURCE_DIR}/bench/ProbeBench.cpp)
target_link_libraries(kestrine_probe_bench PRIVATE kestrine_compat kestrine_warnings)
