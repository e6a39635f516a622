# rx_add_model(<model> SOURCES <files...> FRAME <frame library>)
#
# Builds models/<model>/Rx.so (no lib prefix) from the model's own tables,
# the shared entry layer and parameter module, and the model's frame. Only
# AMI_Init, AMI_GetWave and AMI_Close are exported; the C++ runtime is linked
# in statically so that a simulator that ships its own libstdc++ can load it.
function(rx_add_model model)
  cmake_parse_arguments(ARG "" "FRAME" "SOURCES" ${ARGN})
  set(target Rx_${model})
  add_library(${target} SHARED ${ARG_SOURCES} $<TARGET_OBJECTS:rx_ami>)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_FRAME} rx_ami_tree)
  set_target_properties(${target} PROPERTIES
      OUTPUT_NAME Rx PREFIX ""
      LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/models/${model}
      LINK_DEPENDS ${PROJECT_SOURCE_DIR}/ami/exports.map)
  target_link_options(${target} PRIVATE
      "LINKER:--version-script=${PROJECT_SOURCE_DIR}/ami/exports.map"
      -static-libstdc++ -static-libgcc)
  if(NOT RX_SANITIZE)
    # clang's AddressSanitizer leaves __asan_* undefined in shared objects.
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(GLOBAL APPEND PROPERTY RX_MODELS ${model})
endfunction()
