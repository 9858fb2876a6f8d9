# The GCC runtime as DLLs. On x86 DW2 unwinding cannot cross a DLL boundary with
# a statically linked libgcc, and the library throws across it all the time; x64
# does the same so that both ship one runtime.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_tk_libgcc libgcc_s_dw2-1.dll)
else()
  set(_tk_libgcc libgcc_s_seh-1.dll)
endif()

set(TARNKIT_RUNTIME_DLLS)
foreach(_dll ${_tk_libgcc} libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                  OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know ${_dll}")
  endif()
  get_filename_component(_path "${_path}" REALPATH)
  list(APPEND TARNKIT_RUNTIME_DLLS "${_path}")
  file(COPY "${_path}" DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()

# Every TarnKit target: warnings on, Unicode Win32, the runtime as DLLs.
function(tarnkit_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TARNKIT_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(${target} PRIVATE -shared-libgcc)
endfunction()
