# Install layout and archive of the model packages.
#
# Each model ships as one folder: its library Rx.so, its .ami file and its
# .ibs file; the host program goes to bin/. The .ami and .ibs files are also
# copied beside each library in the build tree, so that the host program and
# the tests find a complete package there.
set(RX_PACKAGE_MODELS rx_hcm_ctle_high LP_rx DDR_rx)

foreach(model IN LISTS RX_PACKAGE_MODELS)
  string(TOLOWER ${model} stem)
  set(package_files)
  foreach(ext ami ibs)
    set(source ${PROJECT_SOURCE_DIR}/models/${model}/${stem}.${ext})
    configure_file(${source} ${PROJECT_BINARY_DIR}/models/${model}/${stem}.${ext} COPYONLY)
    list(APPEND package_files ${source})
  endforeach()
  install(TARGETS Rx_${model} LIBRARY DESTINATION ${model} COMPONENT models)
  install(FILES ${package_files} DESTINATION ${model} COMPONENT models)
endforeach()

install(TARGETS amisim RUNTIME DESTINATION bin COMPONENT host)

set(CPACK_PACKAGE_NAME "rx-ami-models")
set(CPACK_PACKAGE_VENDOR "Receiver model kit")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "IBIS-AMI receiver models rx_hcm_ctle_high, LP_rx and DDR_rx with the amisim host program")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR "TGZ")
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux-x86_64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
