# qubrix_check_folder_lists(<folders...>): fails when a folder beside the calling CMakeLists.txt has
# a CMakeLists.txt of its own but is none of the folders named, so that a new folder is never left
# out of the build without a word. Folders are added with plain add_subdirectory, which fails for a
# folder that is listed but absent.
function(qubrix_check_folder_lists)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(entry IN LISTS entries)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${entry}/CMakeLists.txt AND NOT entry IN_LIST ARGN)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${entry} has a CMakeLists.txt but is in no folder list of "
                          "${CMAKE_CURRENT_LIST_FILE}")
    endif()
  endforeach()
endfunction()
