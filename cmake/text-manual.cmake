# Renders the manual page as plain text with Windows's line ends, for the Windows zip:
#   cmake -DGROFF=path/to/groff -DPAGE=man/quillet.1 -DOUT=quillet.txt -P cmake/text-manual.cmake
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "groff could not render ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
