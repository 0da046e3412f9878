# cmake -DOUTPUT=<file.c> -DKIND=BIG|SMALL -DFILES=<png>|<png>... -P EmbedIconList.cmake
#
# Writes a C source whose export (GetBigList for BIG, GetSmolList for SMALL) returns the
# PNG files' bytes as one image list, in the order given.
if(KIND STREQUAL "BIG")
  set(export GetBigList)
elseif(KIND STREQUAL "SMALL")
  set(export GetSmolList)
else()
  message(FATAL_ERROR "KIND must be BIG or SMALL, not '${KIND}'")
endif()
string(REPLACE "|" ";" files "${FILES}")

set(text "/* Made by EmbedIconList.cmake from the PNG files named below; do not edit. */\n")
string(APPEND text "#include \"IconLibraryAbi.h\"\n\n")
# Sixteen bytes a line (CMake's regular expressions have no counted repeats).
string(REPEAT "0x..," 16 row)
set(entries "")
set(index 0)
foreach(file IN LISTS files)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "${file} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "/* ${index}: ${file} */\nstatic const unsigned char Png${index}[] = {\n    ${bytes}\n};\n")
  string(APPEND entries "    {Png${index}, sizeof Png${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND text "\nstatic const TIconImage Images[] = {\n${entries}};\n")
string(APPEND text "static const TIconList List = {sizeof Images / sizeof Images[0], Images};\n\n")
string(APPEND text "const TIconList* ${export}(void) {\n    return &List;\n}\n")

file(WRITE ${OUTPUT} "${text}")
