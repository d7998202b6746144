# What `cmake --install` delivers: the layout, the desktop entry, the AppStream file,
# the manual pages and the emulator's --version and --help. A check whose tool is not
# installed is skipped.
if(TARGET vexil-devp)
  foreach(check layout desktop metainfo manpages sim-options)
    add_test(NAME packaging_${check}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/packaging_test.sh ${check}
              ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
    set_tests_properties(packaging_${check} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
endif()
