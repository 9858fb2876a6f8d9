# Configures and builds examples/consumer against an installed TarnKit package.
# Run with cmake -P; SOURCE_DIR, BINARY_DIR, PREFIX and TOOLCHAIN are required.
foreach(_var SOURCE_DIR BINARY_DIR PREFIX TOOLCHAIN)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "BuildConsumer.cmake needs -D${_var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE ${BINARY_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G Ninja
          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_PREFIX_PATH=${PREFIX}
          -DCMAKE_BUILD_TYPE=Release
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} COMMAND_ERROR_IS_FATAL ANY)
