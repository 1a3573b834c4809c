
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/src/textio/layout.cpp" "src/CMakeFiles/lwcore.dir/textio/layout.cpp.o" "gcc" "src/CMakeFiles/lwcore.dir/textio/layout.cpp.o.d"
  "/work/main/src/textio/listio.cpp" "src/CMakeFiles/lwcore.dir/textio/listio.cpp.o" "gcc" "src/CMakeFiles/lwcore.dir/textio/listio.cpp.o.d"
  "/work/main/src/textio/render.cpp" "src/CMakeFiles/lwcore.dir/textio/render.cpp.o" "gcc" "src/CMakeFiles/lwcore.dir/textio/render.cpp.o.d"
  "/work/main/src/textio/stream.cpp" "src/CMakeFiles/lwcore.dir/textio/stream.cpp.o" "gcc" "src/CMakeFiles/lwcore.dir/textio/stream.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
