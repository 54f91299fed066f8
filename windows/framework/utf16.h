// UTF-8 inside the program, UTF-16 at the Win32 wide-character calls.
#pragma once

#include <string>

namespace morvik::win {

std::wstring widen(const std::string& utf8);
std::string narrow(const wchar_t* utf16, int length);
std::string narrow(const std::wstring& utf16);

}  // namespace morvik::win
