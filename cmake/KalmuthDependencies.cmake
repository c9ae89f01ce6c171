# Third-party libraries, all from the distribution's packages.
set(CMAKE_AUTOMOC OFF)
find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Xml Network Test)
find_package(Boost 1.74 REQUIRED COMPONENTS thread system date_time)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LOG4CPP REQUIRED IMPORTED_TARGET log4cpp)
find_package(pugixml REQUIRED)
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
# libav is loaded at run time with dlopen; its headers are needed where the API is declared.
pkg_check_modules(LIBAV IMPORTED_TARGET libavcodec libavformat libavutil libswscale)
# Aravis carries the camera SDK's real GigE Vision and USB3 Vision cameras (transport only).
pkg_check_modules(ARAVIS REQUIRED IMPORTED_TARGET aravis-0.8)
