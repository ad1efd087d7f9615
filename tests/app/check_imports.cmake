# Fails when the program imports a DLL that is not part of Windows itself
# (a compiler runtime or a library DLL the build should have linked in).
#   cmake -DEXE=path/Morvane.exe -DOBJDUMP=path/objdump -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls
  advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi
  user32 uxtheme version winmm)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the imports of ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
foreach(line IN LISTS lines)
  string(REGEX REPLACE "DLL Name: ([^.]+)\\.[dD][lL][lL].*" "\\1" name "${line}")
  string(TOLOWER "${name}" name)
  if(NOT name IN_LIST system_dlls)
    message(FATAL_ERROR "${EXE} imports ${name}.dll, which is not a Windows system DLL")
  endif()
  message(STATUS "imports ${name}.dll")
endforeach()
