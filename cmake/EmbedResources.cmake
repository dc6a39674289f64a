# tellvar_embed_resources(<target> <png files...>)
# Compiles each PNG into the target as a byte array named after the file
# (resources/icon_open.png -> icon_open_png, icon_open_png_size).
function(tellvar_embed_resources target)
  foreach(png ${ARGN})
    get_filename_component(stem "${png}" NAME_WE)
    set(symbol "${stem}_png")
    set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp")
    add_custom_command(
      OUTPUT "${out}"
      COMMAND ${CMAKE_COMMAND} -DINPUT=${png} -DOUTPUT=${out} -DSYMBOL=${symbol}
              -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
      DEPENDS "${png}" ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
      COMMENT "Embedding ${stem}.png"
      VERBATIM)
    target_sources(${target} PRIVATE "${out}")
  endforeach()
endfunction()
