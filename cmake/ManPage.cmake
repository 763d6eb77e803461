# Writes the vldtool man page from the program's own --help texts, so that the
# page never drifts from the program.
#   cmake -DVLDTOOL=path/to/vldtool -DVERSION=x.y -DOUT=vldtool.1 -P ManPage.cmake
function(help_text out)
  execute_process(COMMAND ${VLDTOOL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${VLDTOOL} ${ARGN} --help failed: ${rc}")
  endif()
  string(REPLACE "${VLDTOOL}" "vldtool" text "${text}")
  # roff: backslashes doubled, lines starting with '.' or "'" protected.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_text(main)
string(REGEX MATCHALL "\n  [a-z][a-z-]+ " commands "${main}")
set(page ".TH VLDTOOL 1 \"\" \"vldtool ${VERSION}\" \"User Commands\"
.SH NAME
vldtool \\- list, extract and convert the entries of LAB resource bundles
.SH SYNOPSIS
.B vldtool
.I COMMAND
[\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]
.SH DESCRIPTION
.nf
${main}.fi
.SH COMMANDS
")
foreach(line ${commands})
  string(STRIP "${line}" command)
  help_text(sub ${command})
  string(APPEND page ".SS ${command}\n.nf\n${sub}.fi\n")
endforeach()
string(APPEND page ".SH EXIT STATUS
0 on success, 1 on a refused or damaged input (the message is on standard
error), 2 on wrong usage.
.SH SEE ALSO
.BR vldviewer (1)
")
file(WRITE ${OUT} "${page}")
