# rx_add_model(<model> SOURCES <files...> [LIBS <static libs...>])
#
# Builds models/<model>/Rx.so (no lib prefix) from the model's own tables plus
# the shared static code. Only AMI_Init, AMI_GetWave and AMI_Close are exported;
# the C++ runtime is linked in statically so that a simulator that ships its
# own libstdc++ can load the model.
function(rx_add_model model)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(target Rx_${model})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  set_target_properties(${target} PROPERTIES
      OUTPUT_NAME Rx PREFIX ""
      LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/models/${model})
  target_link_options(${target} PRIVATE
      "LINKER:--version-script=${PROJECT_SOURCE_DIR}/ami/exports.map"
      -static-libstdc++ -static-libgcc)
  if(NOT RX_SANITIZE)
    # clang's AddressSanitizer leaves __asan_* undefined in shared objects.
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(GLOBAL APPEND PROPERTY RX_MODELS ${model})
endfunction()
