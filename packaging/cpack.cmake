# Debian packages: doruzoro_<version>_<arch>.deb, doruzoro-server_... and
# doruzoro-data_<version>_all.deb, with the libraries they need worked out
# from the binaries (dpkg-shlibdeps).
# scripts/build-packages.sh builds them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME doruzoro)
set(CPACK_PACKAGE_VENDOR koruhaus)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${DORUZORO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DORUZORO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE doruzoro)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL doruzoro doruzoro-data doruzoro-server)
# The game and the server's verifying unit read the data of their own version.
set(data_of_this_version "doruzoro-data (= ${CPACK_PACKAGE_VERSION})")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_DORUZORO_PACKAGE_NAME doruzoro)
set(CPACK_DEBIAN_DORUZORO_PACKAGE_SECTION games)
# The menu's text face; the message boxes' Japanese text.
set(CPACK_DEBIAN_DORUZORO_PACKAGE_DEPENDS "${data_of_this_version}, fonts-liberation")
set(CPACK_DEBIAN_DORUZORO_PACKAGE_RECOMMENDS "fonts-vlgothic")
set(CPACK_DEBIAN_DORUZORO_PACKAGE_SUGGESTS "doruzoro-server, orca")
set(CPACK_COMPONENT_DORUZORO_DESCRIPTION "shooting game played by ear
UFOs sweep across the sky and come lower at every turn; your fighter moves
along the bottom, fires a laser and raises a barrier. Where each UFO and
missile is comes through sound: left or right, louder when it is close
sideways, higher as it comes lower. Made to be played without looking, by
blind and visually impaired players: a spoken menu, a spoken tutorial, ten
stages and an online ranking, with dialogs a screen reader reads whole.")

set(CPACK_DEBIAN_DORUZORO-DATA_PACKAGE_NAME doruzoro-data)
set(CPACK_DEBIAN_DORUZORO-DATA_PACKAGE_SECTION games)
set(CPACK_DEBIAN_DORUZORO-DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DORUZORO-DATA_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DORUZORO-DATA_DESCRIPTION "pictures and sounds of the DoruzorO game
The pictures, sounds, spoken clips and icons of DoruzorO, a shooting game
played by ear. The game needs them, and so does its ranking server, which
re-plays each uploaded game against them before it ranks the record.")

set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_NAME doruzoro-server)
set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_DEPENDS "${data_of_this_version}")
set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_SUGGESTS "nginx, postgresql, sqlite3, doruzoro")
set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_CONTROL_EXTRA
    ${gen}/server/postinst ${gen}/server/prerm ${gen}/server/postrm ${gen}/server/conffiles)
set(CPACK_DEBIAN_DORUZORO-SERVER_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_COMPONENT_DORUZORO-SERVER_DESCRIPTION "ranking server of the DoruzorO game
Keeps the records that players of the DoruzorO game send and serves the
ranking's result pages. Runs as a hardened systemd service on 127.0.0.1,
the game's default ranking server, and ranks a record as verified only when
the game's uploaded replay plays to its score; an nginx site for running it
in public comes as an example.")

include(CPack)
