# CLI11, nlohmann/json and the Boost libraries used (Asio, Beast) are header-only: a cross build takes their headers from the build
# machine's packages. They are linked into a folder of their own, since the machine's include
# folder also holds its C library's headers, which must not shadow the target's.
set(header_only ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${header_only})
foreach(folder CLI nlohmann boost)
    file(CREATE_LINK /usr/include/${folder} ${header_only}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${header_only})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${header_only})
add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers INTERFACE ${header_only})
