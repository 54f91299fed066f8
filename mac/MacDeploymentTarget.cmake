# The oldest macOS that Morvik GamePad runs on, stated once. It is read before project(), as
# an Apple build must know its deployment target before it looks at the compiler: every
# target is compiled for it, and the bundle's Info.plist gives it as LSMinimumSystemVersion.
# 10.13 is the first with std::optional's checked access in the system's C++ library.
# Other hosts ignore it.
set(CMAKE_OSX_DEPLOYMENT_TARGET "10.13" CACHE STRING "The oldest macOS the Mac program runs on")
