# Tests of the windows preset run under Wine in one private prefix per build
# folder, prepared once per ctest run (fixture qarx_wine) and ended after it.
set(QARX_WINE_PREFIX_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/wine-prefix)
add_test(NAME wine.prefix.start COMMAND ${QARX_WINE_PREFIX_SCRIPT} start ${CMAKE_BINARY_DIR})
add_test(NAME wine.prefix.stop COMMAND ${QARX_WINE_PREFIX_SCRIPT} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine.prefix.start PROPERTIES FIXTURES_SETUP qarx_wine TIMEOUT 180 LABELS wine)
set_tests_properties(wine.prefix.stop PROPERTIES FIXTURES_CLEANUP qarx_wine LABELS wine)
# A 32-bit prefix, as 32-bit Windows, for the end-to-end start-up check.
add_test(NAME wine32.prefix.start COMMAND ${QARX_WINE_PREFIX_SCRIPT} start ${CMAKE_BINARY_DIR} win32)
add_test(NAME wine32.prefix.stop COMMAND ${QARX_WINE_PREFIX_SCRIPT} stop ${CMAKE_BINARY_DIR} win32)
set_tests_properties(wine32.prefix.start PROPERTIES FIXTURES_SETUP qarx_wine32 TIMEOUT 180 LABELS wine)
set_tests_properties(wine32.prefix.stop PROPERTIES FIXTURES_CLEANUP qarx_wine32 LABELS wine)

# One ctest that runs a Windows program (its arguments follow) in the prefix.
function(qarx_add_wine_test name label)
  add_test(NAME ${name} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED qarx_wine LABELS "${label};wine" TIMEOUT 300)
endfunction()

# The same in the 32-bit prefix.
function(qarx_add_wine32_test name label)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E env QARX_WINE_ROOT=${CMAKE_BINARY_DIR}/wine32
                                ${CMAKE_CROSSCOMPILING_EMULATOR} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED qarx_wine32 LABELS "${label};wine" TIMEOUT 300)
endfunction()
