# The default editor initialisation file. It is copied beside the built
# executables (bin/scribant.ini) and installed into the data directory
# (share/retag), so that the last places of the initialisation file search,
# the data directory reached from the running program's directory and that
# directory itself, always hold one: outside any project a command still
# starts, with the current directory as its primary library directory and no
# library aliases.
set(RETAG_DEFAULT_INI ${PROJECT_SOURCE_DIR}/examples/default/scribant.ini)
configure_file(${RETAG_DEFAULT_INI} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/scribant.ini COPYONLY)
install(FILES ${RETAG_DEFAULT_INI} DESTINATION ${RETAG_INSTALL_DATADIR} COMPONENT Runtime)
