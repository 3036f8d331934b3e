# Warnings and sanitizers shared by every target of the project.
add_library(qrvn_options INTERFACE)
target_compile_options(qrvn_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
if(QRVN_WERROR)
  target_compile_options(qrvn_options INTERFACE -Werror)
endif()

if(QRVN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QRVN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QRVN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QRVN_SANITIZE must be empty, address or thread")
endif()

# qrvn_module(target): a loadable module with exactly its C exports, finding its
# siblings (the link driver, ...) in its own folder.
function(qrvn_module target)
  set_target_properties(${target} PROPERTIES PREFIX "" BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  if(QRVN_BUILD_FUZZ)
    # clang leaves the sanitizer runtime to the executable that loads the module, so its
    # symbols are undefined here on purpose.
    target_link_options(${target} PRIVATE -Wl,-z,undefs)
  else()
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# The fuzz preset instruments everything for coverage; fuzz targets add the libFuzzer main.
if(QRVN_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
