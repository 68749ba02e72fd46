# Installs the built library into a scratch prefix, then configures, builds and
# runs a consumer through find_package(vdkit) and through pkg-config, and
# builds the vdkit program on its own against the installed package.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "command failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${VDKIT_BINARY_DIR}" --prefix "${prefix}")
foreach(mode cmake pkgconfig)
  set(build "${WORK_DIR}/build-${mode}")
  run(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
      "-DCMAKE_PREFIX_PATH=${prefix}" "-DCONSUME_WITH=${mode}"
      "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
  run(${CMAKE_COMMAND} --build "${build}")
  run("${build}/consumer")
  if(NOT last_output MATCHES "vdkit consumer ok")
    message(FATAL_ERROR "consumer (${mode}) printed: ${last_output}")
  endif()
  # The X11 window system, when it was built and installed.
  if(EXISTS "${prefix}/include/vdkit/platform/window_x11.h")
    if(NOT EXISTS "${build}/consumer_x11")
      message(FATAL_ERROR "vdkit::x11 is installed but the consumer (${mode}) could not use it")
    endif()
    run("${build}/consumer_x11")
    if(NOT last_output MATCHES "vdkit x11 consumer ok")
      message(FATAL_ERROR "consumer_x11 (${mode}) printed: ${last_output}")
    endif()
  endif()
endforeach()

# The program: the one installed beside the library, and its sources built as
# a project of their own against the installed package, as a user would.
if(DEFINED TOOLS_SOURCE_DIR)
  if(EXISTS "${prefix}/bin/vdkit")
    run("${prefix}/bin/vdkit" --help)
    if(NOT last_output MATCHES "Usage: vdkit COMMAND")
      message(FATAL_ERROR "installed vdkit --help printed: ${last_output}")
    endif()
  endif()
  set(build "${WORK_DIR}/build-tools")
  run(${CMAKE_COMMAND} -S "${TOOLS_SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
      "-DCMAKE_PREFIX_PATH=${prefix}"
      "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
  run(${CMAKE_COMMAND} --build "${build}")
  run("${build}/vdkit" --help)
  if(NOT last_output MATCHES "Usage: vdkit COMMAND")
    message(FATAL_ERROR "vdkit built against the package printed: ${last_output}")
  endif()
endif()
