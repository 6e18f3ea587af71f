# Installation and desktop integration: the desktop entry and metainfo validate, a staged
# `cmake --install` has the documented layout, and the Debian package installs and prices.
set(install_checks ${CMAKE_CURRENT_SOURCE_DIR}/install)

add_test(NAME Install.DesktopEntryAndMetainfoValidate
         COMMAND bash ${install_checks}/validate.sh ${PROJECT_BINARY_DIR}/packaging
                 ${PROJECT_SOURCE_DIR})

set(installed_programs)
foreach(program orvanta orvanta-cli orvanta-train)
  if(TARGET ${program})
    list(APPEND installed_programs ${program})
  endif()
endforeach()

# Both install into the build tree's install rules, which rewrite its install manifest:
# they take turns.
add_test(NAME Install.StagedLayout
         COMMAND bash ${install_checks}/check_install.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                 ${installed_programs})
set_tests_properties(Install.StagedLayout PROPERTIES RESOURCE_LOCK orvanta_install_manifest)

add_test(NAME Install.DebianPackage
         COMMAND bash ${install_checks}/check_deb.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION}
                 ${installed_programs})
set_tests_properties(Install.DebianPackage PROPERTIES RESOURCE_LOCK orvanta_install_manifest)

# The cmake and cpack of this build, whatever else is on PATH.
set_tests_properties(Install.StagedLayout Install.DebianPackage
                     PROPERTIES ENVIRONMENT "CMAKE=${CMAKE_COMMAND};CPACK=${CMAKE_CPACK_COMMAND}")
