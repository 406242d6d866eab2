# Reference tables under src/mpeg/data are compiled in, so the program needs no data files
# at run time. Each file becomes a byte array `zr_data_<name>` with its length.
function(zr_embed_file target file symbol)
  set(out ${CMAKE_BINARY_DIR}/generated/${symbol}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DSYM=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedOne.cmake
    DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedOne.cmake)
  target_sources(${target} PRIVATE ${out})
endfunction()
