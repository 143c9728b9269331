# The Windows zip (cpack): the program, quibdiag, the library with its import library and .def, the public
# header and a short read-me, per architecture.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUIB_WINDOWS_ARCH x64)
else()
    set(QUIB_WINDOWS_ARCH x86)
endif()

install(PROGRAMS $<TARGET_FILE:KRV610xFWUpg> $<TARGET_FILE:quibusb> $<TARGET_FILE:quibdiag> DESTINATION .)
install(FILES $<TARGET_LINKER_FILE:quibusb> ${PROJECT_BINARY_DIR}/devcore/quibusb.def DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/include/quibusb.h DESTINATION include)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/README-Windows.txt DESTINATION .)

# Packing takes what is built; it does not build every test program first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KRV610xFWUpg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME KRV610xFWUpg-${PROJECT_VERSION}-windows-${QUIB_WINDOWS_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)  # already stripped, their debug information kept beside them in the build
include(CPack)
