# Every source folder builds one static library from the sources it holds;
# new files are picked up without editing a list, so several people can add
# files to a folder at once.

# tessel_folder_library(NAME [LINKS libs...])
function(tessel_folder_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(sources)
    tessel_library(${name} SOURCES ${sources} LINKS ${ARG_LINKS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# tessel_add_folder(DIR): add_subdirectory when the folder has a build file.
function(tessel_add_folder dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()
