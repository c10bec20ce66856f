# The toolbar's pictures are drawn at build time by korvi_toolbar_art and compiled into korvi_ui as Qt
# resources under :/korvi/bitmaps/<id>.png, where CToolBarEx loads them by id; <id>@2x.png beside each
# is the same picture painted at twice the size, for screens with two device pixels to a logical one.
add_executable(korvi_toolbar_art ${CMAKE_CURRENT_SOURCE_DIR}/toolbar_art/toolbar_art.cpp)
target_link_libraries(korvi_toolbar_art PRIVATE Qt6::Gui)
set_target_properties(korvi_toolbar_art PROPERTIES AUTOMOC OFF AUTORCC OFF)  # plain painting, no QObjects

set(KORVI_TOOLBAR_ART_DIR ${CMAKE_CURRENT_BINARY_DIR}/toolbar_art)
set(KORVI_TOOLBAR_BITMAP_IDS 143 144 145 146 147)
set(KORVI_TOOLBAR_PNGS "")
set(KORVI_TOOLBAR_QRC_FILES "")
foreach(id ${KORVI_TOOLBAR_BITMAP_IDS})
  list(APPEND KORVI_TOOLBAR_PNGS ${KORVI_TOOLBAR_ART_DIR}/${id}.png ${KORVI_TOOLBAR_ART_DIR}/${id}@2x.png)
  string(APPEND KORVI_TOOLBAR_QRC_FILES "    <file>${id}.png</file>\n    <file>${id}@2x.png</file>\n")
endforeach()

add_custom_command(OUTPUT ${KORVI_TOOLBAR_PNGS}
  COMMAND korvi_toolbar_art ${KORVI_TOOLBAR_ART_DIR}
  DEPENDS korvi_toolbar_art
  COMMENT "Drawing the toolbar's pictures"
  VERBATIM)

set(KORVI_TOOLBAR_QRC ${KORVI_TOOLBAR_ART_DIR}/toolbar_bitmaps.qrc)
file(CONFIGURE OUTPUT ${KORVI_TOOLBAR_QRC} CONTENT
"<!DOCTYPE RCC>
<RCC version=\"1.0\">
  <qresource prefix=\"/korvi/bitmaps\">
${KORVI_TOOLBAR_QRC_FILES}  </qresource>
</RCC>
")

# rcc is run by hand rather than through AUTORCC, which would want the generated files at configure time.
set(KORVI_TOOLBAR_RCC_CPP ${KORVI_TOOLBAR_ART_DIR}/qrc_korvi_toolbar_bitmaps.cpp)
add_custom_command(OUTPUT ${KORVI_TOOLBAR_RCC_CPP}
  COMMAND Qt6::rcc --name korvi_toolbar_bitmaps --output ${KORVI_TOOLBAR_RCC_CPP} ${KORVI_TOOLBAR_QRC}
  DEPENDS ${KORVI_TOOLBAR_QRC} ${KORVI_TOOLBAR_PNGS}
  COMMENT "Compiling the toolbar's pictures into resources"
  VERBATIM)
set_source_files_properties(${KORVI_TOOLBAR_RCC_CPP} PROPERTIES SKIP_AUTOGEN ON)
target_sources(korvi_ui PRIVATE ${KORVI_TOOLBAR_RCC_CPP})

# Handy when changing the art: `cmake --build . --target toolbar_art_preview`, then look at the PNG.
add_custom_target(toolbar_art_preview
  COMMAND korvi_toolbar_art ${CMAKE_CURRENT_BINARY_DIR}/toolbar_art_preview
          --preview ${CMAKE_CURRENT_BINARY_DIR}/toolbar_art_preview/strips-3x.png
  DEPENDS korvi_toolbar_art
  VERBATIM)
