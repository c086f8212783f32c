# simdjson for a multiarch cross build. Debian's libsimdjson-dev is not
# co-installable across architectures (the arm64 one would remove the
# host's), so the cross build links the target's shared library from
# libsimdjson14:<arch> and compiles against the host's header: one
# amalgamated file for every CPU, from the same source version.
find_path(simdjson_INCLUDE_DIR simdjson.h)
find_library(simdjson_LIBRARY NAMES simdjson libsimdjson.so.14)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(simdjson REQUIRED_VARS simdjson_LIBRARY simdjson_INCLUDE_DIR)
if(simdjson_FOUND AND NOT TARGET simdjson::simdjson)
  find_package(Threads REQUIRED)
  add_library(simdjson::simdjson SHARED IMPORTED)
  # The library was built with threads on, which its header must agree with.
  set_target_properties(simdjson::simdjson PROPERTIES
    IMPORTED_LOCATION ${simdjson_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${simdjson_INCLUDE_DIR}
    INTERFACE_COMPILE_DEFINITIONS SIMDJSON_THREADS_ENABLED=1
    INTERFACE_LINK_LIBRARIES Threads::Threads)
endif()
