# Run by `cmake --install`: installs the desktop entry with Exec set to the
# program's full path under the prefix of this install.
if(IS_ABSOLUTE "${QUORVIA_BINDIR}")
  set(program "${QUORVIA_BINDIR}/quorvia")
else()
  set(program "${CMAKE_INSTALL_PREFIX}/${QUORVIA_BINDIR}/quorvia")
endif()
if(IS_ABSOLUTE "${QUORVIA_DATADIR}")
  set(applications "${QUORVIA_DATADIR}/applications")
else()
  set(applications "${CMAKE_INSTALL_PREFIX}/${QUORVIA_DATADIR}/applications")
endif()

# A path with characters the Exec key reserves is quoted, and inside the
# quotes ", `, $ and \ are escaped, the backslashes once more for the file's
# own string escapes; a % is doubled.
set(exec "${program}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[^-A-Za-z0-9_./+%@:,~]")
  string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
  string(REGEX REPLACE "([\"`$])" "\\\\\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()

file(READ "${QUORVIA_DESKTOP_ENTRY}" entry)
# The replacement below reads backslashes as its own escapes.
string(REPLACE "\\" "\\\\" replacement "${exec}")
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=${replacement}" entry "${entry}")
string(RANDOM LENGTH 8 token)
set(staged "${QUORVIA_STAGING}/quorvia.desktop.${token}")
file(WRITE "${staged}" "${entry}")
file(INSTALL DESTINATION "${applications}" TYPE FILE RENAME quorvia.desktop FILES "${staged}")
file(REMOVE "${staged}")
