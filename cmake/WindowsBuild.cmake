# What a Windows (mingw-w64) build needs that a Linux build finds as packages.

# Resource scripts (windres): the program's window, icon, manifest, version and packaged files.
enable_language(RC)

# The header-only libraries, through a folder that holds only their headers: /usr/include itself would
# bring the host's C library headers into the cross build.
set(QUIB_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${QUIB_HOST_HEADERS})
foreach(dir nlohmann CLI)
    if(NOT EXISTS ${QUIB_HOST_HEADERS}/${dir})
        file(CREATE_LINK /usr/include/${dir} ${QUIB_HOST_HEADERS}/${dir} SYMBOLIC)
    endif()
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QUIB_HOST_HEADERS})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QUIB_HOST_HEADERS})

# Unicode Win32 calls throughout; Windows 7 and later.
# The C library's printf family as C99 gives it (%zu, %lld; %s narrow in wide formats), not msvcrt's.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 __USE_MINGW_ANSI_STDIO=1)
# The C++ and GCC run-time libraries and winpthread are linked in: the files need nothing Windows lacks.
add_link_options(-static)
# What ships stays small: unused functions and data of the static run-time libraries are left out.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)

# GoogleTest from Debian's sources, cross-built with the project.
macro(quib_cross_build_googletest)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endmacro()

# Under Wine each process start costs seconds: a test program runs as one ctest entry, all its tests in one
# start (on Linux ctest runs each test apart). A failure shows the program's own output.
macro(quib_windows_test_listing)
    function(gtest_discover_tests target)
        add_test(NAME ${target} COMMAND ${target})
    endfunction()
endmacro()
