# The Windows release: murl.dll and murl-doctor.exe with a player's readme and the licence, as a
# setup program
# (NSIS: murl-VERSION-setup.exe) and a .zip for registering by hand (murl-VERSION-win32.zip).
# `cmake --build --preset win32 --target release` (scripts/release.sh) builds murl.dll and
# nothing else, and writes both with their SHA256SUMS into the build folder; `--target package`
# writes the same packages after building everything.
include_guard(GLOBAL)

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
include(${packaging}/troubleshooting.cmake)
murl_configure_readme(${PROJECT_BINARY_DIR}/packaging/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt @ONLY
               NEWLINE_STYLE CRLF)
install(FILES $<TARGET_FILE:murl> $<TARGET_FILE:murl-doctor> ${PROJECT_BINARY_DIR}/packaging/README.txt
              ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt
        DESTINATION .)

set(CPACK_PACKAGE_NAME "Murl")
set(CPACK_PACKAGE_VENDOR "The Murl developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Murl, a chat-spam filter plug-in for Decal")
set(CPACK_PACKAGE_VERSION ${MURL_RELEASE_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Murl")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${MURL_SETUP_REGISTRY_KEY})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The setup program is written from our own template (packaging/NSIS.template.in): it
# registers the module, rolls back when that fails, upgrades in place and keeps the player's
# settings and log on removal.
set(CPACK_MODULE_PATH ${packaging})
set(CPACK_NSIS_DISPLAY_NAME "Murl")
set(CPACK_NSIS_PACKAGE_NAME "Murl ${MURL_RELEASE_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_NSIS_UNINSTALL_NAME "uninstall")
set(CPACK_NSIS_URL_INFO_ABOUT ${MURL_HOME_PAGE})
set(CPACK_PROJECT_CONFIG_FILE ${packaging}/package-names.cmake)
set(CPACK_MURL_RELEASE_VERSION ${MURL_RELEASE_VERSION})
# Two builds of one commit give the same bytes: the staged files get the last commit's time and
# fixed permissions before they are packed, and the .zip is normalised after.
set(CPACK_MURL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${packaging}/release-files.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${packaging}/normalise-zip.cmake)

find_program(MURL_MAKENSIS makensis)
if(MURL_MAKENSIS)
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_NSIS_EXECUTABLE ${MURL_MAKENSIS})
else()
  message(WARNING "makensis not found: the package target writes only the .zip "
                  "(scripts/install-deps.sh installs nsis)")
  set(CPACK_GENERATOR ZIP)
endif()

# The release: the packages and one SHA256SUMS beside them, which also lists the files the
# packages install, so that an installed murl.dll or murl-doctor.exe can be checked
# (`sha256sum -c --ignore-missing SHA256SUMS`); built from murl.dll and the doctor alone.
if(MURL_MAKENSIS)
  add_custom_target(release
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
    COMMAND ${CMAKE_COMMAND} -D DIR=${PROJECT_BINARY_DIR}
            -D "FILES=murl-${MURL_RELEASE_VERSION}-setup.exe;murl-${MURL_RELEASE_VERSION}-win32.zip;$<TARGET_FILE:murl>;$<TARGET_FILE:murl-doctor>"
            -P ${packaging}/checksums.cmake
    DEPENDS murl murl-doctor
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Writing the release: the setup program, the .zip and SHA256SUMS" VERBATIM)
else()
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -E echo "a release needs makensis (scripts/install-deps.sh installs nsis)"
    COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
endif()

# A test-only setup program whose murl.dll is damaged, for the installer's failure path:
# `cmake --build . --target murl_damaged_setup` writes murl-damaged-setup.exe. Only this
# target runs the damaging script.
if(MURL_MAKENSIS AND MURL_BUILD_TESTS)
  add_custom_target(murl_damaged_setup
    COMMAND ${CMAKE_CPACK_COMMAND} -G NSIS --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
            -D MURL_DAMAGE_MODULE=ON
            -D "CPACK_PRE_BUILD_SCRIPTS=${packaging}/release-files.cmake;${packaging}/damage-module.cmake"
            -B ${PROJECT_BINARY_DIR}/test-packages
    DEPENDS murl murl-doctor
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Writing a setup program with a damaged murl.dll, for the installer tests" VERBATIM)
endif()

include(CPack)
