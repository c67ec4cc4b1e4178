include("${CMAKE_CURRENT_LIST_DIR}/qiroTargets.cmake")
