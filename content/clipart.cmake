# The clip art and the sound that ship in the program folder's "clipart/",
# drawn and synthesised by make_clipart at build time (nothing made is
# committed).
add_executable(make_clipart ${CMAKE_CURRENT_LIST_DIR}/tools/make_clipart.cpp)
target_link_libraries(make_clipart PRIVATE imaging_io imaging_core platform)
tw_strict_warnings(make_clipart)

set(TW_CLIPART_DIR ${TW_PROGRAM_DIR}/clipart)
set(TW_CLIPART_FILES Sun.png Balloon.png Star.png Gift.png Heart.png Landscape.jpg Chime.wav)
list(TRANSFORM TW_CLIPART_FILES PREPEND ${TW_CLIPART_DIR}/ OUTPUT_VARIABLE TW_CLIPART_OUTPUTS)
add_custom_command(
  OUTPUT ${TW_CLIPART_OUTPUTS}
  COMMAND make_clipart ${TW_CLIPART_DIR}
  DEPENDS make_clipart
  COMMENT "Drawing the clip art and the chime"
  VERBATIM)
add_custom_target(clipart ALL DEPENDS ${TW_CLIPART_OUTPUTS})

# The program folder is complete only with the clip art; its test runs the
# generator again to see that it makes the same bytes.
if(TARGET content)
  add_dependencies(content clipart)
endif()
if(TARGET content_tests)
  add_dependencies(content_tests clipart)
  target_compile_definitions(content_tests PRIVATE TW_MAKE_CLIPART="$<TARGET_FILE:make_clipart>")
endif()
if(TARGET content_player_tests)
  add_dependencies(content_player_tests clipart)
endif()
