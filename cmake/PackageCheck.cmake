# Run by CPack on the finished archive, before it is copied out of the
# staging folder: the archive must hold exactly the files named in
# CPACK_VM_PACKAGE_FILES (see Packaging.cmake), in its one top folder. A
# test program or a table that slipped in, or a program that is missing,
# fails the package build. The source package (package_source) is the tree
# itself and is not checked.
if(CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
  return()
endif()
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archive}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list ${archive}")
  endif()
  string(REPLACE "\n" ";" listing "${listing}")
  set(top "${CPACK_PACKAGE_FILE_NAME}/")
  string(LENGTH "${top}" topLength)
  set(found)
  foreach(entry IN LISTS listing)
    # Folder entries end in a slash; only files count.
    if(entry STREQUAL "" OR entry MATCHES "/$")
      continue()
    endif()
    string(FIND "${entry}" "${top}" at)
    if(at EQUAL 0)
      string(SUBSTRING "${entry}" ${topLength} -1 entry)
    else()
      set(entry "(outside ${top}) ${entry}")
    endif()
    list(APPEND found "${entry}")
  endforeach()
  set(expected ${CPACK_VM_PACKAGE_FILES})
  list(SORT found)
  list(SORT expected)
  if(NOT found STREQUAL expected)
    # CPack would still hand the archive out; neither it nor an older one
    # of the same name may stay behind.
    file(REMOVE ${archive} ${CPACK_VM_PACKAGE_OUTPUT})
    message(FATAL_ERROR "${archive} holds\n  ${found}\nbut must hold exactly\n  ${expected}\n"
                        "(under the folder ${top})")
  endif()
  message(STATUS "Package contents checked: ${found}")
endforeach()
