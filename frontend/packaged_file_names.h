// The files the program carries as packaged resources and writes into its folder at every start.
#pragma once

#include <string>
#include <string_view>

#include "frontend/resources/packaged_files.h"

namespace quib::frontend {

// Resource types are compared without regard to case.
inline constexpr std::string_view kPackagedResourceType = "extfiles";

// The platform's own file name of the library.
#if defined(_WIN32)
inline constexpr std::wstring_view kLibraryFileName = L"quibusb.dll";
#else
inline constexpr std::wstring_view kLibraryFileName = L"libquibusb.so";
#endif

// The library's working sub-folder in the program's folder (the serial-number image is built there).
inline constexpr std::wstring_view kLibraryTempFolderName = L"KRVFW_Temp";

// The packaged image's name: the firmware list up to and including its first "bin". Empty when the list
// names no such file or the name is not a bare file name.
std::wstring packagedImageName(std::string_view firmwareList);

}  // namespace quib::frontend
