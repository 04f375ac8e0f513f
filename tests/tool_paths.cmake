# The outside programs the tests start, found on PATH once at configure time
# so that a missing one is named here rather than by a test that fails later.

# The test FTP server needs a python3 that can import pyftpdlib; the first
# python3 on PATH may be one without it (a virtual environment, say).
function(kestrin_python_has_pyftpdlib result candidate)
  execute_process(COMMAND ${candidate} -c "import pyftpdlib"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
find_program(KESTRIN_PYTHON NAMES python3 VALIDATOR kestrin_python_has_pyftpdlib
             DOC "python3 that runs the test FTP server (needs pyftpdlib)")
if(NOT KESTRIN_PYTHON)
  message(FATAL_ERROR "No python3 on PATH can import pyftpdlib, which the test FTP server "
                      "needs (Debian package python3-pyftpdlib). Install it, set "
                      "KESTRIN_PYTHON, or configure with -DBUILD_TESTING=OFF.")
endif()

# The window's tests that need a display of their own run under a virtual X server.
find_program(KESTRIN_XVFB_RUN NAMES xvfb-run DOC "xvfb-run for the tests that need an X display")
if(NOT KESTRIN_XVFB_RUN)
  message(FATAL_ERROR "xvfb-run is not on PATH (Debian package xvfb). Install it, set "
                      "KESTRIN_XVFB_RUN, or configure with -DBUILD_TESTING=OFF.")
endif()

add_compile_definitions(KESTRIN_PYTHON="${KESTRIN_PYTHON}" KESTRIN_XVFB_RUN="${KESTRIN_XVFB_RUN}")
