# The warnings the project's own code is built with, by g++ for the program
# and by clang for the fuzz targets. Errors are off by default so that a
# newer compiler's new warnings do not stop a user's build; the test script
# turns them on.
add_compile_options(-Wall -Wextra)
option(KESTRIN_WERROR "Treat compiler warnings in the project's own code as errors" OFF)
if(KESTRIN_WERROR)
  add_compile_options(-Werror)
endif()
