# The icon is drawn once, as resources/inkbinder.svg. From it the build makes
# the PNGs that Linux menus and software centres show, and the Windows icon
# (also the Qt window's) with the same sizes in it.
set(INKBINDER_ICON_SIZES 16 32 48 64 128 256)
set(INKBINDER_ICON_SVG ${CMAKE_SOURCE_DIR}/resources/inkbinder.svg)
# icons/<size>/inkbinder.png, and the .ico where the .rc files look for it.
set(INKBINDER_ICON_PNG_DIR ${INKBINDER_GENERATED_DIR}/icons)
set(INKBINDER_ICON_ICO ${INKBINDER_GENERATED_DIR}/resources/inkbinder.ico)

find_program(INKBINDER_RSVG_CONVERT rsvg-convert REQUIRED)  # Debian's librsvg2-bin
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(pngs)
foreach(size IN LISTS INKBINDER_ICON_SIZES)
  set(png ${INKBINDER_ICON_PNG_DIR}/${size}/inkbinder.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${INKBINDER_ICON_PNG_DIR}/${size}
    COMMAND ${INKBINDER_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${INKBINDER_ICON_SVG}
    DEPENDS ${INKBINDER_ICON_SVG}
    VERBATIM)
  list(APPEND pngs ${png})
endforeach()
add_custom_command(OUTPUT ${INKBINDER_ICON_ICO}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_ico.py ${INKBINDER_ICON_ICO} ${pngs}
  DEPENDS ${pngs} ${CMAKE_SOURCE_DIR}/resources/make_ico.py
  VERBATIM)
add_custom_target(inkbinder-icons ALL DEPENDS ${pngs} ${INKBINDER_ICON_ICO})
