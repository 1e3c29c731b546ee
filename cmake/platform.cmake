# The system this build is for: the one place in the build that asks. Each
# branch names
#   QARX_PLATFORM              the adapter folder src/platform/<name>; its
#                              CMakeLists.txt makes qarx_platform_<name>
#   QARX_PLATFORM_DEFINITIONS  compile definitions of every own target
#   QARX_DESKTOP_FRONT_END     the front-end folder of the system's desktop
#   QARX_INSTALL_RULES         installation and packaging
#   QARX_PLATFORM_TESTS        the folders under tests/ of the system's own
#                              adapter, front-end and end-to-end tests
# A new system is one more branch and one more adapter folder
# (docs/ports.md, "A new system").
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(QARX_PLATFORM linux)
  set(QARX_PLATFORM_DEFINITIONS)
  set(QARX_DESKTOP_FRONT_END ui/qt)
  set(QARX_INSTALL_RULES ${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
  set(QARX_PLATFORM_TESTS platform ui integration benchmarks fuzz)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(QARX_PLATFORM win32)
  # Windows 7 is the oldest system the program runs on; newer functions are
  # looked up at run time.
  set(QARX_PLATFORM_DEFINITIONS _WIN32_WINNT=0x0601 WINVER=0x0601)
  set(QARX_DESKTOP_FRONT_END ui/win32)
  set(QARX_INSTALL_RULES ${CMAKE_CURRENT_LIST_DIR}/windows_installer.cmake)
  # The tests run under Wine (tests/wine first: the prefixes they need).
  set(QARX_PLATFORM_TESTS wine platform/win32 ui/win32 integration/windows)
else()
  message(FATAL_ERROR
    "Qarx Service has no adapters for ${CMAKE_SYSTEM_NAME}: it builds for Linux and for Windows "
    "(the windows preset). A new system needs a folder of adapters under src/platform and a branch in "
    "cmake/platform.cmake; docs/ports.md lists what the folder holds.")
endif()
