# qubrix_embed(<target> <symbol> <file>): compiles <file> into <target> as
#   extern const unsigned char <symbol>[]; extern const std::size_t <symbol>_size;
# (inside namespace embedded), so data files ship inside the binary and are still edited as files.
function(qubrix_embed target symbol file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded_${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${file}")
  target_sources(${target} PRIVATE ${out})
endfunction()
