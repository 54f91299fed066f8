# Applies MORVIK_SANITIZE to every target of the build.
if(MORVIK_SANITIZE)
  add_compile_options(-fsanitize=${MORVIK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MORVIK_SANITIZE})
endif()
