# Collects the shipped bundle (cmake/KyBundle.cmake runs it at build time):
#   cmake -DLIST=files.txt -DFOLDER=.../bundle/fetchwell-client -DARCHIVE=.../fetchwell-client.zip
#         -P collect.cmake
# LIST names the files to ship, one full path a line. The folder is made anew, so that a file
# dropped from the list does not linger; it receives each file under its own name and
# MANIFEST.sha256, one line per file sorted by name (byte order):
#   <SHA-256, 64 lower-case hex digits>  <size in bytes>  <name>
# ARCHIVE is the folder as a zip archive whose entries are fetchwell-client/<name>.
cmake_minimum_required(VERSION 3.25)
foreach(var LIST FOLDER ARCHIVE)
  if(NOT ${var})
    message(FATAL_ERROR "collect.cmake needs -D${var}=...")
  endif()
endforeach()

file(STRINGS ${LIST} files)
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
set(names)
foreach(path ${files})
  if(NOT EXISTS ${path} OR IS_DIRECTORY ${path})
    message(FATAL_ERROR "The bundle's file ${path} is missing")
  endif()
  get_filename_component(name ${path} NAME)
  if(name IN_LIST names OR name STREQUAL "MANIFEST.sha256")
    message(FATAL_ERROR "Two files of the bundle are named ${name}")
  endif()
  list(APPEND names ${name})
  file(COPY_FILE ${path} ${FOLDER}/${name})
endforeach()
list(SORT names COMPARE STRING CASE SENSITIVE)

set(manifest "")
set(entries)
get_filename_component(top ${FOLDER} NAME)
foreach(name ${names})
  file(SHA256 ${FOLDER}/${name} hash)
  file(SIZE ${FOLDER}/${name} size)
  string(APPEND manifest "${hash}  ${size}  ${name}\n")
  list(APPEND entries ${top}/${name})
endforeach()
file(WRITE ${FOLDER}/MANIFEST.sha256 "${manifest}")

get_filename_component(parent ${FOLDER} DIRECTORY)
file(REMOVE ${ARCHIVE})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ARCHIVE} --format=zip -- ${top}/MANIFEST.sha256 ${entries}
  WORKING_DIRECTORY ${parent}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${ARCHIVE})
  message(FATAL_ERROR "Cannot write ${ARCHIVE}")
endif()
