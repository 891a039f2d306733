# Caller-ID decoder: speed as a multiple of real time beside spandsp's DTMF and FSK receivers,
# the signal-to-noise sweep and the side-by-side acceptance table (plain programs). Signals come from the tests' spandsp generators.
find_package(PkgConfig QUIET)
if(TARGET norvel_core AND PkgConfig_FOUND)
  pkg_check_modules(BENCH_SPANDSP QUIET IMPORTED_TARGET spandsp)
  if(BENCH_SPANDSP_FOUND)
    set(CALLERID_BENCH_SUPPORT ${PROJECT_SOURCE_DIR}/tests/callerid/SignalKit.cpp
                               ${PROJECT_SOURCE_DIR}/tests/callerid/LiteralToneDetector.cpp
                               ${PROJECT_SOURCE_DIR}/tests/callerid/SpeechCorpus.cpp)
    add_executable(callerid_bench ${CMAKE_CURRENT_LIST_DIR}/callerid_bench.cpp
                                  ${CALLERID_BENCH_SUPPORT})
    target_link_libraries(callerid_bench PRIVATE norvel_core PkgConfig::BENCH_SPANDSP
                                                 benchmark::benchmark)
    add_executable(callerid_snr ${CMAKE_CURRENT_LIST_DIR}/callerid_snr.cpp
                                ${CALLERID_BENCH_SUPPORT})
    target_link_libraries(callerid_snr PRIVATE norvel_core PkgConfig::BENCH_SPANDSP)
    # The receivers side by side on the same audio: the acceptance table.
    add_executable(callerid_compare ${CMAKE_CURRENT_LIST_DIR}/callerid_compare.cpp
                                    ${CALLERID_BENCH_SUPPORT})
    target_link_libraries(callerid_compare PRIVATE norvel_core PkgConfig::BENCH_SPANDSP)
    target_compile_definitions(callerid_compare PRIVATE
                               NORVEL_SPEECH_CACHE="${CMAKE_BINARY_DIR}/speech-cache")
  endif()
endif()
