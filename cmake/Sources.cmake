# Every subsystem folder is globbed, so adding a file to a subsystem needs no edit here.
set(NFY_SUBSYSTEMS base app inbox lifecycle bridges registry)
set(NFY_CORE_SOURCES)
foreach(dir IN LISTS NFY_SUBSYSTEMS)
  file(GLOB _src CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
  list(APPEND NFY_CORE_SOURCES ${_src})
endforeach()
file(GLOB _plat CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/*.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/${NFY_PLATFORM}/*.cpp)
list(APPEND NFY_CORE_SOURCES ${_plat})

add_library(nfycore STATIC ${NFY_CORE_SOURCES})
target_include_directories(nfycore PUBLIC ${PROJECT_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(nfycore PUBLIC ${NFY_PLATFORM_LIBS})
