# Installation and the Debian package. Every file is installed by an install() rule here, and
# CPack builds the package from the same rules, so `cmake --install` and the package hold the
# same files.
include(GNUInstallDirs)

set(MORVALEN_MAINTAINER "Meridane Group <morvalen@meridane.example>")
set(MORVALEN_HOMEPAGE "https://meridane.example/morvalen/")
set(PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Manual pages and the changelog, compressed as Debian wants them: gzip -9n (no file name, no
# time stamp, so that the same sources give the same package).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed_files "")
foreach(source docs/man/morvalen.1 docs/man/qlml.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(
    OUTPUT ${PACKAGING_DIR}/${name}.gz
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${GZIP_PROGRAM} ${CMAKE_SOURCE_DIR}/${source}
            ${PACKAGING_DIR}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
  list(APPEND compressed_files ${PACKAGING_DIR}/${name}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${compressed_files})

# Bash completion. The rule codes that qlml's completion offers are the rows of the rule table
# in qlml's manual page (rows that begin with a code and a tab), so the table is their one list.
file(STRINGS ${CMAKE_SOURCE_DIR}/docs/man/qlml.1 rule_rows REGEX "^QL[0-9][0-9][0-9]\t")
set(QLML_RULE_CODES "")
foreach(row IN LISTS rule_rows)
  string(REGEX MATCH "^QL[0-9][0-9][0-9]" code "${row}")
  list(APPEND QLML_RULE_CODES ${code})
endforeach()
if(NOT QLML_RULE_CODES)
  message(FATAL_ERROR "docs/man/qlml.1 has no rule table rows (a code, a tab, ...)")
endif()
list(JOIN QLML_RULE_CODES " " QLML_RULE_CODES)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/qlml.1)
configure_file(${CMAKE_SOURCE_DIR}/completion/morvalen.bash ${PACKAGING_DIR}/completions/morvalen
               COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/completion/qlml.bash.in ${PACKAGING_DIR}/completions/qlml @ONLY)

# The programs are hardened as Debian builds its own: checked libc calls where the compiler
# optimises (the check needs it), a read-only relocation table bound at start.
if(NOT MORVALEN_SANITIZE AND NOT MORVALEN_FUZZ)
  target_compile_definitions(morvalen_core PUBLIC $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  target_compile_options(morvalen_core PUBLIC -fstack-protector-strong)
endif()
foreach(program morvalen qlml)
  target_link_options(${program} PRIVATE -Wl,-z,relro -Wl,-z,now)
endforeach()
install(TARGETS morvalen qlml RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PACKAGING_DIR}/morvalen.1.gz ${PACKAGING_DIR}/qlml.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PACKAGING_DIR}/completions/morvalen ${PACKAGING_DIR}/completions/qlml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The copyright file holds the licences, the vendored table-sorting script's included.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
              ${PACKAGING_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The example library as it is in the sources, without anything a run there may have written.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/library
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN "previous" EXCLUDE
        PATTERN "*.html" EXCLUDE
        PATTERN "*.pdf" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_PACKAGE_NAME morvalen)
set(CPACK_PACKAGE_VENDOR "Meridane Group")
set(CPACK_PACKAGE_CONTACT ${MORVALEN_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "procedure library: QLML documents to printable pages and PDFs")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvalen keeps a library of written procedures, such as test procedures,\n"
    "work instructions and inspections, each a plain-text QLML document. It\n"
    "renders a document as a self-contained HTML procedure page (title page,\n"
    "revision and requirements tables, table of contents, overview, one page\n"
    "per section with action tables to tick off and two-party-verification\n"
    "boxes), prints it to PDF with headless Chromium and archives every\n"
    "revision. It also writes an index page of the library, makes first\n"
    "drafts from a CSV document list and exports a document's commands as a\n"
    "script.\n"
    "\n"
    "The package also holds qlml, which checks documents line by line, writes\n"
    "the library's requirements traceability matrix and serves editors over\n"
    "the Language Server Protocol.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MORVALEN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MORVALEN_HOMEPAGE})
# Depends is computed by dpkg-shlibdeps from the libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS chromium)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

if(MORVALEN_TESTS)
  enable_testing()
  add_test(NAME manual_pages
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/manual_pages_test.sh
                   $<TARGET_FILE:morvalen> $<TARGET_FILE:qlml> ${CMAKE_SOURCE_DIR}/docs/man)
  add_test(NAME bash_completion
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/completion_test.sh
                   ${PACKAGING_DIR}/completions $<TARGET_FILE:qlml>)
endif()
