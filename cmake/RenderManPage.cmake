# Renders a manual page as plain text, for the Windows package, which has no
# man program to read it with:
#   cmake -DPAGE=<page.1> -DOUTPUT=<page.txt> -P RenderManPage.cmake

find_program(KL_GROFF groff REQUIRED)
execute_process(
  COMMAND ${KL_GROFF} -man -Tutf8 -rLL=78n -P-cbou ${PAGE}
  OUTPUT_FILE ${OUTPUT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff could not render ${PAGE}")
endif()
