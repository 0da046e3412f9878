# add_icon_library(<target> BIG <png>... [SMALL <png>...] [OUTPUT_DIRECTORY <dir>] [OUTPUT_NAME <name>])
#
# An icon library for the configurator: a loadable module whose "GetBigList" and
# "GetSmolList" return the given PNG files, in the given order, as the image lists of
# IconLibraryAbi.h. Without SMALL it has no "GetSmolList". The PNG bytes are compiled in.
set(ICON_LIBRARY_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedIconList.cmake)

function(add_icon_library target)
  cmake_parse_arguments(L "" "OUTPUT_DIRECTORY;OUTPUT_NAME" "BIG;SMALL" ${ARGN})
  set(sources)
  foreach(kind BIG SMALL)
    if(NOT L_${kind})
      continue()
    endif()
    string(TOLOWER ${kind} lower)
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_${lower}.c)
    list(JOIN L_${kind} "|" files)
    add_custom_command(OUTPUT ${generated}
      COMMAND ${CMAKE_COMMAND} -DOUTPUT=${generated} -DKIND=${kind} "-DFILES=${files}"
              -P ${ICON_LIBRARY_EMBED_SCRIPT}
      DEPENDS ${L_${kind}} ${ICON_LIBRARY_EMBED_SCRIPT}
      COMMENT "Embedding the ${lower} icons of ${target}"
      VERBATIM)
    list(APPEND sources ${generated})
  endforeach()
  add_library(${target} MODULE ${sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/configurator)
  # Only the two exports are seen from outside.
  set_target_properties(${target} PROPERTIES C_VISIBILITY_PRESET hidden PREFIX "" AUTOMOC OFF AUTORCC OFF)
  if(L_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${L_OUTPUT_DIRECTORY})
  endif()
  if(L_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${L_OUTPUT_NAME})
  endif()
endfunction()
