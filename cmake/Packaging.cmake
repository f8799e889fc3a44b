# The Windows download: one ZIP archive, named after the project version,
# with the programs, the language files that sit beside them, a README for
# Windows users and the licence. Made by
#
#     cmake --build <Windows build dir> --target package
#
# Native builds have no package: the editor is a Windows program.
if(NOT WIN32)
  return()
endif()

set(VM_PACKAGE_COMPONENT Vellumark)

# The programs. VellumarkAnsi, the single-byte build, goes in where the tree
# has it.
set(VM_PACKAGE_PROGRAMS Vellumark vellumark-cli)
if(TARGET VellumarkAnsi)
  list(APPEND VM_PACKAGE_PROGRAMS VellumarkAnsi)
endif()
install(TARGETS ${VM_PACKAGE_PROGRAMS} RUNTIME DESTINATION . COMPONENT ${VM_PACKAGE_COMPONENT})

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/languages/Deutsch.lng ${CMAKE_CURRENT_SOURCE_DIR}/languages/Russian.lng
        DESTINATION . COMPONENT ${VM_PACKAGE_COMPONENT})

# README and licence with Windows line ends, so that every Notepad shows
# them as lines.
set(VM_PACKAGE_TEXTS ${CMAKE_CURRENT_BINARY_DIR}/package-texts)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/README-Windows.txt ${VM_PACKAGE_TEXTS}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/LICENSE ${VM_PACKAGE_TEXTS}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${VM_PACKAGE_TEXTS}/README.txt ${VM_PACKAGE_TEXTS}/LICENSE.txt
        DESTINATION . COMPONENT ${VM_PACKAGE_COMPONENT})

# Exactly these files make the archive; PackageCheck.cmake refuses a package
# that holds anything else (a test program, a table) or misses one of them.
set(CPACK_VM_PACKAGE_FILES README.txt LICENSE.txt Deutsch.lng Russian.lng)
foreach(program IN LISTS VM_PACKAGE_PROGRAMS)
  get_target_property(name ${program} OUTPUT_NAME)
  if(NOT name)
    set(name ${program})
  endif()
  list(APPEND CPACK_VM_PACKAGE_FILES ${name}${CMAKE_EXECUTABLE_SUFFIX})
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Vellumark)
set(CPACK_PACKAGE_VENDOR "the Vellumark developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "An editor for Diablo II string tables")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Vellumark-${PROJECT_VERSION}-windows)
set(CPACK_VM_PACKAGE_OUTPUT ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
# Only our own component (a subproject's install rules would add its files
# otherwise), in one archive under one folder of the archive's name.
set(CPACK_COMPONENTS_ALL ${VM_PACKAGE_COMPONENT})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageCheck.cmake)
# The package_source target that comes with CPack: the tree without the
# builds (which hold wine prefixes) and without git's files.
set(CPACK_SOURCE_GENERATOR ZIP)
set(CPACK_SOURCE_PACKAGE_FILE_NAME Vellumark-${PROJECT_VERSION}-source)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build/" "/build-[^/]*/" "\\\\.swp$")
include(CPack)
