# The string table, dialogs and icon: linked into every executable, since the
# launcher's texts are looked up in the module's own resources.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
configure_file(${CMAKE_SOURCE_DIR}/ui/resources/deployment.h.in ${generated}/deployment.h @ONLY)

add_custom_command(
    OUTPUT ${generated}/launcher.ico
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/ui/resources/make_icon.py ${generated}/launcher.ico
    DEPENDS ${CMAKE_SOURCE_DIR}/ui/resources/make_icon.py)
add_custom_target(launcher_icon DEPENDS ${generated}/launcher.ico)

file(GLOB resource_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/resources/*.rc)
add_library(launcher_resources OBJECT ${CMAKE_SOURCE_DIR}/ui/resources/launcher.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/resources/launcher.rc PROPERTIES
    OBJECT_DEPENDS "${resource_scripts};${CMAKE_SOURCE_DIR}/ui/resources/launcher.manifest;${CMAKE_SOURCE_DIR}/ui/resources/resource.h;${CMAKE_SOURCE_DIR}/services/string_ids.h;${generated}/deployment.h;${generated}/launcher.ico")
target_include_directories(launcher_resources PRIVATE ${CMAKE_SOURCE_DIR}/ui/resources ${CMAKE_SOURCE_DIR} ${generated})
add_dependencies(launcher_resources launcher_icon)
