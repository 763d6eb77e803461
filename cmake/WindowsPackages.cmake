# The Windows setup program (NSIS) and the portable zip, built by the
# windows_packages target of the cross build (scripts/build-windows).
find_program(VLD_MAKENSIS makensis)
find_program(VLD_ZIP zip)
if(NOT VLD_MAKENSIS OR NOT VLD_ZIP)
  message(STATUS "makensis or zip not found: no Windows setup program")
  return()
endif()

set(VLD_SETUP ${CMAKE_BINARY_DIR}/vld-resource-viewer-${PROJECT_VERSION}-setup.exe)
set(VLD_PORTABLE ${CMAKE_BINARY_DIR}/vld-resource-viewer-${PROJECT_VERSION}-windows.zip)
set(VLD_WIN_DATA ${PROJECT_SOURCE_DIR}/data/windows)
set(VLD_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

add_custom_command(OUTPUT ${VLD_SETUP} ${VLD_PORTABLE}
  # Stripped copies: the symbols are for debugging the build, not for users.
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VLD_PACKAGE_DIR}
  COMMAND ${CMAKE_STRIP} -o ${VLD_PACKAGE_DIR}/vldviewer.exe $<TARGET_FILE:vldviewer>
  COMMAND ${CMAKE_STRIP} -o ${VLD_PACKAGE_DIR}/vldtool.exe $<TARGET_FILE:vldtool>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${VLD_PACKAGE_DIR}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${VLD_WIN_DATA}/LICENCE.txt ${VLD_PACKAGE_DIR}/LICENCE.txt
  COMMAND ${VLD_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DOUTFILE=${VLD_SETUP}.part
          -DVIEWER=${VLD_PACKAGE_DIR}/vldviewer.exe -DTOOL=${VLD_PACKAGE_DIR}/vldtool.exe
          -DREADME=${VLD_PACKAGE_DIR}/README.txt -DLICENCE=${VLD_PACKAGE_DIR}/LICENCE.txt
          -DICON=${PROJECT_SOURCE_DIR}/src/gui/windows/vldviewer.ico ${VLD_WIN_DATA}/installer.nsi
  COMMAND ${CMAKE_COMMAND} -E rename ${VLD_SETUP}.part ${VLD_SETUP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VLD_PORTABLE}.part
  COMMAND ${CMAKE_COMMAND} -E chdir ${VLD_PACKAGE_DIR}
          ${VLD_ZIP} -q -X ${VLD_PORTABLE}.part vldviewer.exe vldtool.exe README.txt LICENCE.txt
  COMMAND ${CMAKE_COMMAND} -E rename ${VLD_PORTABLE}.part ${VLD_PORTABLE}
  DEPENDS vldviewer vldtool ${VLD_WIN_DATA}/installer.nsi ${VLD_WIN_DATA}/LICENCE.txt ${PROJECT_SOURCE_DIR}/README.md
  COMMENT "Writing the Windows setup program and the portable zip"
  VERBATIM)
add_custom_target(windows_packages DEPENDS ${VLD_SETUP} ${VLD_PORTABLE})
