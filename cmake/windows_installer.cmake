# The Windows installer (packaging/windows/qarx-service.nsi), built with
# Debian's makensis as part of the windows preset's normal build:
# build/windows/qarx-service-setup.exe. The program goes in stripped; the
# build tree's keeps its debug information.
find_program(QARX_MAKENSIS makensis REQUIRED)
set(QARX_SETUP ${CMAKE_BINARY_DIR}/qarx-service-setup.exe)
set(_qarx_nsi ${PROJECT_SOURCE_DIR}/packaging/windows/qarx-service.nsi)
set(_qarx_stripped ${CMAKE_BINARY_DIR}/installer/qarx-service.exe)
add_custom_command(
  OUTPUT ${QARX_SETUP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer
  COMMAND ${CMAKE_STRIP} -o ${_qarx_stripped} $<TARGET_FILE:qarx-service>
  COMMAND ${QARX_MAKENSIS} -V2 -WX -DQARX_VERSION=${PROJECT_VERSION} -DQARX_VERSION_MAJOR=${QARX_VERSION_MAJOR}
          -DQARX_VERSION_BUILD=${QARX_VERSION_BUILD} -DQARX_VERSION_REVISION=${QARX_VERSION_REVISION}
          -DQARX_VERSION_MINOR=${QARX_VERSION_MINOR} -DQARX_EXE=${_qarx_stripped}
          -DQARX_OUTFILE=${QARX_SETUP} ${_qarx_nsi}
  DEPENDS qarx-service ${_qarx_nsi}
  COMMENT "Building the Windows installer qarx-service-setup.exe"
  VERBATIM)
add_custom_target(qarx-setup ALL DEPENDS ${QARX_SETUP})
