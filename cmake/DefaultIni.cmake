# The default editor initialisation file. It is copied beside the built
# executables (bin/scribant.ini) and installed beside the installed command,
# so that the last place of the initialisation file search, the directory of
# the running program, always holds one: outside any project the command
# still starts, with the current directory as its primary library directory
# and no library aliases.
set(RETAG_DEFAULT_INI ${PROJECT_SOURCE_DIR}/examples/default/scribant.ini)
configure_file(${RETAG_DEFAULT_INI} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/scribant.ini COPYONLY)
install(FILES ${RETAG_DEFAULT_INI} DESTINATION bin)
