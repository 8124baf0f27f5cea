# The Debian package: cpack -G DEB in a build tree, which ./run package makes (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornask)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvat)
set(CPACK_PACKAGE_CONTACT "Vornask developers <vornask@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vornask.example.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program links come from dpkg-shlibdeps; Qt's platform plugins are loaded
# at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "mail guard for POP3 and IMAP mailboxes, from the tray
Vornask sits in the desktop's notification area and checks POP3 and IMAP
mailboxes, one or several, at once and then every few minutes; an IMAP
mailbox whose server offers IDLE is also checked the moment mail arrives.
It deletes on the server the messages that its kill list condemns (rules
such as Subject: = cheap), or moves them to an IMAP folder, writes each
one to an optional log first, and tells what is left: the tray icon's
tooltip, a sound, a box with the count or the start of a mail reader.
Nothing it does marks mail as read. It speaks plain text, TLS on connect
and STARTTLS, and signs in with a password or with OAuth2 (Outlook.com,
Microsoft 365, Gmail).
The password and the OAuth2 sign-in may be remembered in the desktop
keyring; vornask --check runs one check without a window, for a timer.")

# The package's changelog must describe the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/debian/changelog vornask_changelog_head LIMIT_COUNT 1)
set(vornask_package_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT vornask_changelog_head MATCHES "^vornask \\(${vornask_package_version}\\) ")
    message(FATAL_ERROR "data/debian/changelog must begin with an entry for vornask "
                        "(${vornask_package_version}); it begins: ${vornask_changelog_head}")
endif()

include(CPack)
