# The Debian package, built by `cpack -G DEB` in a build folder configured with the prefix
# /usr (scripts/package.sh does both).
set(AIRLOOM_PACKAGE_MAINTAINER "Airloom maintainers <maintainers@airloom.invalid>" CACHE STRING
    "Maintainer of the Debian package, as: name <e-mail>")

# Debian wants a changelog and a copyright file beside the README.
execute_process(COMMAND date -u -R -d ${AIRLOOM_RELEASE_DATE}
    OUTPUT_VARIABLE AIRLOOM_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
set(packaging_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${packaging_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${packaging_dir}/changelog.gz
    COMMAND gzip -9nkf changelog
    WORKING_DIRECTORY ${packaging_dir}
    DEPENDS ${packaging_dir}/changelog
    VERBATIM)
add_custom_target(airloom-changelog ALL DEPENDS ${packaging_dir}/changelog.gz)
install(FILES ${packaging_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME airloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${AIRLOOM_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "broadcast cart machine for radio studios
An on-air operator loads short audio files (station IDs, jingles,
announcements, news sounders) from ten category folders into ten cart
decks and fires them on air with one key or one click. One cart plays
at a time; each deck's play mode decides what happens when its cart
ends: stop, fire the next deck, or play again.
.
The station's settings live in /var/lib/airloom, writable by the audio
group.")
# The libraries come from the program's own links; the fonts stand in for the faces its
# windows were drawn with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-liberation2, fonts-comic-neue")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
