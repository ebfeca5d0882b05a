# The Windows download: what this installs, the program and a README for Windows users, zipped
# by scripts/package so that the same commit gives the same bytes (CPack's archives carry the
# files' times and owners).
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
