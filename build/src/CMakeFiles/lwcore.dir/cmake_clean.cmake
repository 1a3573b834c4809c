file(REMOVE_RECURSE
  "CMakeFiles/lwcore.dir/textio/layout.cpp.o"
  "CMakeFiles/lwcore.dir/textio/layout.cpp.o.d"
  "CMakeFiles/lwcore.dir/textio/listio.cpp.o"
  "CMakeFiles/lwcore.dir/textio/listio.cpp.o.d"
  "CMakeFiles/lwcore.dir/textio/render.cpp.o"
  "CMakeFiles/lwcore.dir/textio/render.cpp.o.d"
  "CMakeFiles/lwcore.dir/textio/stream.cpp.o"
  "CMakeFiles/lwcore.dir/textio/stream.cpp.o.d"
  "liblwcore.a"
  "liblwcore.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lwcore.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
