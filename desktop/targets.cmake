find_package(wxWidgets 3.2 REQUIRED COMPONENTS core base)
include(${wxWidgets_USE_FILE})
include(${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake)

# Everything but the process entry goes into one static library, which both
# the program and the GUI tests link.
file(GLOB TELLVAR_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/PlatformSpecific/*.cpp)
list(REMOVE_ITEM TELLVAR_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)

add_library(TellvarCore STATIC ${TELLVAR_SOURCES})
target_include_directories(TellvarCore PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
                                              ${CMAKE_CURRENT_SOURCE_DIR}/PlatformSpecific)
target_link_libraries(TellvarCore PUBLIC Brennock ${wxWidgets_LIBRARIES})
file(GLOB TELLVAR_PICTURES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.png)
tellvar_embed_resources(TellvarCore ${TELLVAR_PICTURES})

add_executable(Tellvar main.cpp)
target_link_libraries(Tellvar PRIVATE TellvarCore)
