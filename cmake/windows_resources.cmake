# Icon, version information and application manifest of a Windows program.
# level: the manifest's requestedExecutionLevel (asInvoker, requireAdministrator).
function(tavorine_windows_resources target level description)
  set(PROGRAM_NAME ${target})
  set(PROGRAM_LEVEL ${level})
  set(PROGRAM_DESCRIPTION ${description})
  set(PROGRAM_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/tavorine-mov.ico)
  set(PROGRAM_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest.in ${PROGRAM_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

# A console program in one .exe that runs without MinGW's DLLs beside it.
# GCC 12's libstdc++ defines type_info::operator== both inline (C++23) and in
# the static library; the definitions are the same.
function(tavorine_windows_console_program target description)
  target_link_options(${target} PRIVATE -static -Wl,--allow-multiple-definition)
  tavorine_windows_resources(${target} asInvoker "${description}")
endfunction()
