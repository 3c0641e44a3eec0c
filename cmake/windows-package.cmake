# The Windows release: morvalen-{version}-windows-x64.zip with the programs, the README, the
# licence texts and the example library, in one folder of that name.
set(WINDOWS_PACKAGE_NAME morvalen-${PROJECT_VERSION}-windows-x64)
set(WINDOWS_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package/${WINDOWS_PACKAGE_NAME})
add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WINDOWS_PACKAGE_DIR}/licences
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:morvalen> $<TARGET_FILE:qlml>
          ${CMAKE_SOURCE_DIR}/README.md ${WINDOWS_PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/copyright
          ${WINDOWS_PACKAGE_DIR}/licences/copyright.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/third_party/tablesort/LICENCE
          ${WINDOWS_PACKAGE_DIR}/licences/tablesort.txt
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/examples/library
          ${WINDOWS_PACKAGE_DIR}/examples/library
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
          ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/${WINDOWS_PACKAGE_NAME}.zip --format=zip
          --mtime=1970-01-01 ${WINDOWS_PACKAGE_NAME}
  DEPENDS morvalen qlml
  COMMENT "Packing ${WINDOWS_PACKAGE_NAME}.zip"
  VERBATIM)
