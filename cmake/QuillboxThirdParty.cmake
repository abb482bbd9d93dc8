# SPDX-License-Identifier: MIT
# The libraries the engine reads backups with: Expat (Android's XML, streamed) and SQLite
# (iPhone's databases), as Quillbox::expat and Quillbox::sqlite3. On Linux they are Debian's
# packages, linked dynamically; the Windows programs link them statically, built from Debian's
# source packages by scripts/windows-third-party into the build folder, where they stay for the
# next configure.

add_library(quillbox_expat INTERFACE)
add_library(Quillbox::expat ALIAS quillbox_expat)
add_library(quillbox_sqlite3 INTERFACE)
add_library(Quillbox::sqlite3 ALIAS quillbox_sqlite3)

if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(QUILLBOX_THIRD_PARTY_DIR "${PROJECT_BINARY_DIR}/third-party" CACHE PATH
        "Where Expat and SQLite for Windows are fetched and built")
    execute_process(
        COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/windows-third-party"
                "${QUILLBOX_THIRD_PARTY_DIR}"
        RESULT_VARIABLE quillbox_third_party_result)
    if(NOT quillbox_third_party_result EQUAL 0)
        message(FATAL_ERROR "scripts/windows-third-party could not build Expat and SQLite")
    endif()
    # A changed script configures again, and so builds the libraries again.
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${PROJECT_SOURCE_DIR}/scripts/windows-third-party")

    add_library(quillbox_expat_static STATIC IMPORTED)
    set_target_properties(quillbox_expat_static PROPERTIES
        IMPORTED_LOCATION "${QUILLBOX_THIRD_PARTY_DIR}/lib/libexpat.a"
        INTERFACE_INCLUDE_DIRECTORIES "${QUILLBOX_THIRD_PARTY_DIR}/include"
        # Unless told that the library is static, expat.h declares its functions as a DLL's
        # under a compiler with Microsoft's extensions.
        INTERFACE_COMPILE_DEFINITIONS XML_STATIC)
    add_library(quillbox_sqlite3_static STATIC IMPORTED)
    set_target_properties(quillbox_sqlite3_static PROPERTIES
        IMPORTED_LOCATION "${QUILLBOX_THIRD_PARTY_DIR}/lib/libsqlite3.a"
        INTERFACE_INCLUDE_DIRECTORIES "${QUILLBOX_THIRD_PARTY_DIR}/include")
    target_link_libraries(quillbox_expat INTERFACE quillbox_expat_static)
    target_link_libraries(quillbox_sqlite3 INTERFACE quillbox_sqlite3_static)
else()
    find_package(EXPAT REQUIRED)
    find_package(SQLite3 REQUIRED)
    target_link_libraries(quillbox_expat INTERFACE EXPAT::EXPAT)
    target_link_libraries(quillbox_sqlite3 INTERFACE SQLite::SQLite3)
endif()
