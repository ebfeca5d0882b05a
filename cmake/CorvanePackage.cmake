# The Windows download: the program and a README for Windows users in one ZIP archive.
install(TARGETS corvane-wasapi RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt DESTINATION . RENAME README.txt)
# The guide and the published measurements travel with the program, with the pictures they show.
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/guide.md
  ${PROJECT_SOURCE_DIR}/docs/measurements.md
  ${PROJECT_SOURCE_DIR}/docs/resolution-enhancer.md
  ${PROJECT_SOURCE_DIR}/docs/screenshot.png
  DESTINATION docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/measurements DESTINATION docs)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME corvane-wasapi)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Real-time audio signal generator for WASAPI")
set(CPACK_PACKAGE_FILE_NAME corvane-wasapi-${PROJECT_VERSION}-win64)
include(CPack)
