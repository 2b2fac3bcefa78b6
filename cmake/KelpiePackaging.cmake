# The Debian package: `cpack -G DEB` in a build folder makes
# kelpie_<version>_<arch>.deb from the install rules (the binary, the
# desktop entry and the icon). Shared-library dependencies (Qt, xcb,
# Tesseract) are found by dpkg-shlibdeps; the data Kelpie reads at run time
# but links against nothing for is declared by hand.

set(CPACK_PACKAGE_NAME kelpie)
set(CPACK_PACKAGE_VENDOR "Kelpie")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Screenshot and markup utility for the Linux desktop (X11 and Wayland)")
set(CPACK_PACKAGE_DESCRIPTION
  "Kelpie lives in the tray and is driven by global hot keys: a capture freezes the screen, \
the user drags a region or clicks a window, marks it up in place (shapes, arrows, text, \
numbered badges, highlights and masks) and copies, saves or pins it. Text in the image is \
recognised on the device and can be copied; masking a secret removes it from that text.")
set(CPACK_PACKAGE_CONTACT "Kelpie developers <kelpie@localhost>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Recognition models for the three languages Kelpie reads, a font that has
# every Chinese string of the interface, and the toolkit's Wayland platform
# (loaded as a plug-in, so no library dependency names it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "tesseract-ocr-eng, tesseract-ocr-chi-sim, tesseract-ocr-chi-tra, fonts-noto-cjk | fonts-wqy-microhei, qt6-wayland")
# On Wayland the screen is read and keys are bound through the desktop portals.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal")
# One Kelpie per session meets on the session bus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session | dbus-x11")

include(CPack)
