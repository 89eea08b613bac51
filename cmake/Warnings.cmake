function(plb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# Small, self-contained executables: no unused sections, stripped, static C++ runtime.
function(plb_small_static_executable target)
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)
  else()
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)
  endif()
endfunction()
