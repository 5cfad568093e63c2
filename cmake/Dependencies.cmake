# Libraries behind the platform layer. Linux: Debian's -dev packages. Windows: the system DLLs.
if(WIN32)
  set(NFY_PLATFORM_LIBS advapi32 ole32 oleaut32 uuid user32 version shlwapi)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
  pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
  pkg_check_modules(LIBNOTIFY REQUIRED IMPORTED_TARGET libnotify)
  # pugixml linked in where its archive is installed: a library fewer to load
  # on every run, and its calls (a reply of thousands of messages makes
  # hundreds of thousands) go straight to it.
  find_library(NFY_PUGIXML_ARCHIVE NAMES libpugixml.a)
  if(NFY_PUGIXML_ARCHIVE)
    set(_pugixml ${NFY_PUGIXML_ARCHIVE})
  else()
    set(_pugixml PkgConfig::PUGIXML)
  endif()
  set(NFY_PLATFORM_LIBS ${_pugixml} PkgConfig::CURL PkgConfig::LIBNOTIFY)
endif()

if(NFY_TESTS)
  if(WIN32)
    # Debian installs the GoogleTest sources; build them with the cross compiler.
    set(NFY_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${NFY_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
