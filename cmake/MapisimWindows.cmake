# Link options of the stand-in DLL (MAPI32.DLL).
#
# The test program reaches the stand-in's internals as the Linux tests do
# through mapisim_obj, so the DLL exports every symbol of its own (the C++
# internals besides the MAPI32 functions and the C controls);
# .ci/check-mapisim-dll.sh checks its unmangled names against the MAPI32
# functions the library imports and the controls.
# Runtime libraries linked in stay private. MAPI32 exports FreeProws,
# HrGetOneProp and HrQueryAllRows decorated only (cmake/Mapi32.cmake), so on
# x86_64 their plain symbols are kept out of the export table too.
set(_private_libs libuuid.a libpthread.a libwinpthread.a libgcc.a libgcc_eh.a libstdc++.a
    libmingwex.a libmingw32.a)
string(REPLACE ";" ":" _private_libs "${_private_libs}")
target_link_options(mapisim PRIVATE -Wl,--export-all-symbols "-Wl,--exclude-libs,${_private_libs}"
                    -static-libgcc -static-libstdc++ -static)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_options(mapisim PRIVATE
                      "SHELL:-Xlinker --exclude-symbols -Xlinker FreeProws,HrGetOneProp,HrQueryAllRows")
endif()
set_target_properties(mapisim PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}")
