# nlohmann-json, header-only, as the target zelt20_json. Natively its CMake
# package; in a cross build that package would point the target compiler at
# the build machine's /usr/include, so the build makes a folder of its own
# that holds only a link to the library's headers.
if(CMAKE_CROSSCOMPILING)
  set(ZELT20_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json's header folder")
  if(NOT EXISTS ${ZELT20_JSON_HEADERS}/json.hpp)
    message(FATAL_ERROR "nlohmann-json not found in ${ZELT20_JSON_HEADERS}: install nlohmann-json3-dev")
  endif()
  set(json_include ${CMAKE_BINARY_DIR}/nlohmann-only)
  file(MAKE_DIRECTORY ${json_include})
  file(CREATE_LINK ${ZELT20_JSON_HEADERS} ${json_include}/nlohmann SYMBOLIC)
  add_library(zelt20_json INTERFACE)
  target_include_directories(zelt20_json SYSTEM INTERFACE ${json_include})
else()
  find_package(nlohmann_json 3.11 REQUIRED)
  add_library(zelt20_json INTERFACE)
  target_link_libraries(zelt20_json INTERFACE nlohmann_json::nlohmann_json)
endif()
