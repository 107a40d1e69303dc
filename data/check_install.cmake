# Installs the built program into a scratch prefix and checks that a
# desktop finds everything: the entry's Exec names the installed
# executable, its Icon names the installed icons, and the help file and
# sample config.cfg lie in the data folder.  A file manager offers the
# entry for folders and hands it the folder (%f).
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(entry "${PREFIX}/share/applications/vantrel.desktop")
file(STRINGS "${entry}" exec_line REGEX "^Exec=")
file(STRINGS "${entry}" icon_line REGEX "^Icon=")
file(STRINGS "${entry}" mime_line REGEX "^MimeType=")
if(NOT exec_line MATCHES " %f$" OR NOT mime_line MATCHES "[=;]inode/directory")
  message(FATAL_ERROR "no folder for the entry: ${exec_line} ${mime_line}")
endif()
string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" exec "${exec_line}")
string(REGEX REPLACE "^Icon=" "" icon "${icon_line}")

set(expected
  "bin/${exec}"
  "share/icons/hicolor/32x32/apps/${icon}.png"
  "share/icons/hicolor/16x16/apps/${icon}.png"
  "share/vantrel/VANTREL.hlp"
  "share/vantrel/config.cfg"
  "share/vantrel/images/banner.jpg"
  "share/vantrel/images/picture1.png")
foreach(path IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
if(NOT IS_DIRECTORY "${PREFIX}/bin" OR IS_DIRECTORY "${PREFIX}/bin/${exec}")
  message(FATAL_ERROR "bin/${exec} is not a program")
endif()
file(REMOVE_RECURSE "${PREFIX}")
