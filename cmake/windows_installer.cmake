# The Windows installer (packaging/windows/qarx-service.nsi), built with
# Debian's makensis as part of the windows preset's normal build:
# build/windows/qarx-service-setup.exe. The program goes in stripped; the
# build tree's keeps its debug information.
find_program(QARX_MAKENSIS makensis REQUIRED)

# qarx_add_setup(TARGET PROGRAM VERSION OUTPUT): a setup of the program
# target PROGRAM with the version MAJOR.BUILD.REVISION.MINOR.
function(qarx_add_setup target program version output)
  string(REPLACE "." ";" numbers ${version})
  list(GET numbers 0 major)
  list(GET numbers 1 build)
  list(GET numbers 2 revision)
  list(GET numbers 3 minor)
  set(nsi ${PROJECT_SOURCE_DIR}/packaging/windows/qarx-service.nsi)
  set(stripped ${CMAKE_BINARY_DIR}/installer/${target}/qarx-service.exe)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer/${target}
    COMMAND ${CMAKE_STRIP} -o ${stripped} $<TARGET_FILE:${program}>
    COMMAND ${QARX_MAKENSIS} -V2 -WX -DQARX_VERSION=${version} -DQARX_VERSION_MAJOR=${major}
            -DQARX_VERSION_BUILD=${build} -DQARX_VERSION_REVISION=${revision} -DQARX_VERSION_MINOR=${minor}
            -DQARX_EXE=${stripped} -DQARX_OUTFILE=${output} ${nsi}
    DEPENDS ${program} ${nsi}
    COMMENT "Building the Windows installer ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

set(QARX_SETUP ${CMAKE_BINARY_DIR}/qarx-service-setup.exe)
qarx_add_setup(qarx-setup qarx-service ${PROJECT_VERSION} ${QARX_SETUP})
