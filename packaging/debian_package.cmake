# `cpack -G DEB`: a Debian package of what the install rules put in place.
set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavorine-MOV maintainers")
set(CPACK_PACKAGE_CONTACT "Tavorine-MOV maintainers <support@tavmov.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover deleted or formatted-away camera MOV videos")
# Lines of at most 80 characters, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION
    "Tavorine-MOV Recovery Tools recover QuickTime MOV videos written by video
cameras from memory cards, disks and disk images on which they were deleted,
formatted away, or lost together with their partition. FAT12, FAT16, FAT32,
exFAT and NTFS volumes are read, never written to; failing sectors are read
around.

The package holds a five-step Qt wizard (tavorine-mov) and a command-line tool
for scripts (tavorine-mov-cli).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${package_name})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/" "/\\\\.git/" "/out/")

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tavmov.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin at run time, which shlibdeps cannot see.
if(TARGET tavorine-mov)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Qt's own buttons and dialogs in Chinese, and the font the wizard asks for.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# Directories 0755 however the umask of the packaging run is set.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
