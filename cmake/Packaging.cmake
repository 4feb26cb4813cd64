# A Debian package of the installed programs: `cpack -G DEB` in the build folder.
# Its dependencies come from the shared libraries the programs link (dpkg-shlibdeps, dpkg-dev).

set(CPACK_PACKAGE_NAME glyphwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Glyphwright developers")
set(CPACK_PACKAGE_CONTACT "The Glyphwright developers <dev@glyphwright.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop icon tool: collect icons and pictures, write them out again")
set(CPACK_PACKAGE_DESCRIPTION
    "Glyphwright collects icons out of Windows executables, libraries, icon libraries and icon\n"
    "files, and pictures of many formats, into a grid of thumbnails, and writes them out again:\n"
    "one multi-size icon file per entry, or one picture of a chosen size. glyphwright-cli runs\n"
    "the same engine on the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://glyphwright.org/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface is Chinese: a CJK font makes it legible on a desktop that has none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

include(CPack)
