# Installing and packaging. `cmake --install` puts the programs in bin/,
# Models.ini (which the programs look for in ../share/norvane beside their
# folder) and the sample files in share/norvane/, and the wizard's desktop
# entry and icon where desktops find them. CPack builds a .deb whose
# dependencies dpkg-shlibdeps reads off the programs.
include(GNUInstallDirs)

set(NORVANE_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/norvane)

foreach(program norvane-cli norvane-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/data/Models.ini DESTINATION ${NORVANE_SHARE_DIR})
file(GLOB NORVANE_SAMPLE_FIRMWARE CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/demo/*)
install(FILES ${NORVANE_SAMPLE_FIRMWARE} ${PROJECT_SOURCE_DIR}/data/FlashLdr.hex ${PROJECT_SOURCE_DIR}/data/BPFL24.s37
        DESTINATION ${NORVANE_SHARE_DIR}/samples)
# An example only, not an active rule: it would hide real modems from
# ModemManager as well.
install(FILES ${PROJECT_SOURCE_DIR}/data/install/99-norvane-no-modemmanager.rules
        DESTINATION ${NORVANE_SHARE_DIR}/udev)

# The wizard is added by app/, which may come later in the tree than this
# file: its rules are made once the whole project has been read.
function(norvane_install_wizard)
  if(TARGET norvane)
    install(TARGETS norvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/data/install/norvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/data/install/norvane.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL norvane_install_wizard)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Norvane maintainers <maintainers@norvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updates for serial modems and ISDN terminal adapters")
# One string: separate strings would make a list, joined with ";".
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Norvane identifies the modems and ISDN terminal adapters on the serial ports\n"
    "of this machine and updates their firmware, all ports at once: in a wizard\n"
    "(norvane) or headless (norvane-cli). norvane-sim plays simulated devices.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
