# Settings every target of ours shares, applied per target (never directory-wide).

function(updater_target_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
      -Wno-sign-conversion -Werror=return-type)
    # GCC 12 at -O3 reports std::string code inlined from libstdc++ as "maybe uninitialized"
    # (members of aggregates built in place) and as overlapping copies (GCC bugs 105562,
    # 105329): no fault of the code, and no way to silence them there; the Windows program is
    # built at -O3.
    target_compile_options(${target} PRIVATE
      $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-maybe-uninitialized -Wno-restrict>)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  endif()
  if(UPDATER_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=undefined)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
  if(UPDATER_SANITIZE_THREAD)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=thread)
  endif()
endfunction()

# A static library of ours: add_updater_library(name SOURCES...)
function(add_updater_library name)
  add_library(${name} STATIC ${ARGN})
  add_library(updater::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  updater_target_settings(${name})
endfunction()
