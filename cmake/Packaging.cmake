# The Debian package: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr gives quorvexi_<version>_<arch>.deb holding what
# `cmake --install` installs plus the manual pages, the metainfo, the bash
# completion, the copyright and the changelog. scripts/check-package.sh builds,
# inspects and installs it.
include(GNUInstallDirs)

set(QX_PACKAGE_MAINTAINER "Quorvex I developers <developers@quorvex.invalid>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(QX_PACKAGE_NAME quorvexi)
set(QX_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${QX_PACKAGE_NAME})
set(QX_PACKAGING_SRC ${PROJECT_SOURCE_DIR}/packaging)
set(QX_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
# The date of this build's changelog entry and release; SOURCE_DATE_EPOCH,
# when set, makes it reproducible.
string(TIMESTAMP QX_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP QX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

configure_file(${QX_PACKAGING_SRC}/changelog.in ${QX_PACKAGING_OUT}/changelog @ONLY)
configure_file(${QX_PACKAGING_SRC}/quorvexi.metainfo.xml.in
               ${QX_PACKAGING_OUT}/quorvexi.metainfo.xml @ONLY)

# Debian wants manual pages and the changelog compressed at the highest level,
# without a name or time stamp in the gzip header (reproducible).
set(QX_PAGES qvx quorvexi-sim)
if(TARGET quorvexi)
    list(APPEND QX_PAGES quorvexi)
endif()
set(QX_GZIPPED)
foreach(page IN LISTS QX_PAGES)
    set(src ${QX_PACKAGING_SRC}/man/${page}.1)
    set(out ${QX_PACKAGING_OUT}/${page}.1.gz)
    add_custom_command(OUTPUT ${out} COMMAND sh -c "gzip -9n -c '${src}' > '${out}'"
                       DEPENDS ${src} VERBATIM)
    list(APPEND QX_GZIPPED ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(out ${QX_PACKAGING_OUT}/changelog.gz)
add_custom_command(OUTPUT ${out}
                   COMMAND sh -c "gzip -9n -c '${QX_PACKAGING_OUT}/changelog' > '${out}'"
                   DEPENDS ${QX_PACKAGING_OUT}/changelog VERBATIM)
list(APPEND QX_GZIPPED ${out})
add_custom_target(qx_packaging_data ALL DEPENDS ${QX_GZIPPED})

install(FILES ${QX_PACKAGING_OUT}/changelog.gz ${QX_PACKAGING_SRC}/copyright
        DESTINATION ${QX_PACKAGE_DOCDIR})
install(FILES ${QX_PACKAGING_OUT}/quorvexi.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.quorvex.QuorvexI.metainfo.xml)
install(FILES ${QX_PACKAGING_SRC}/qvx.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qvx)

# Each program answers --version without a display or a module.
if(QX_BUILD_TESTS)
    foreach(program IN ITEMS qvx quorvexi-sim quorvexi)
        if(TARGET ${program})
            add_test(NAME version_${program}
                     COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                             --unset=QT_QPA_PLATFORM $<TARGET_FILE:${program}> --version)
            string(REPLACE "." "\\." version_re "${PROJECT_VERSION}")
            set_tests_properties(version_${program} PROPERTIES
                                 PASS_REGULAR_EXPRESSION "^${program} ${version_re}\n$")
        endif()
    endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${QX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the binaries (dpkg-shlibdeps), never from a list here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tuning tool for a motorcycle ignition module")
# CPack puts the summary first and indents these lines itself; an empty line
# becomes the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorvex I links to the electronic ignition module of a two-cylinder
motorcycle engine over a serial port, uploads its settings (twelve basic
settings and six calibration maps), edits the maps on a graph, writes every
change to the module at once, keeps settings in .qvx files and shows live
engine values streamed from the module.

The package holds the desktop program quorvexi, the command-line tool qvx
for scripts, and quorvexi-sim, a module emulator on a pseudo-terminal.")
include(CPack)
