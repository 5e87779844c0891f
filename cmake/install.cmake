# Install rules: the layout hier(7) gives packages on the BSDs, below
# CMAKE_INSTALL_PREFIX (default /usr/local) and DESTDIR.
#
#   sbin/orvantile_autorotate                     the daemon
#   ${ORVANTILE_LIBEXEC_DIR}greeter_align         programs it runs as root
#   ${ORVANTILE_LIBEXEC_DIR}remap-touch
#   ${ORVANTILE_MAN_DIR}/man8/*.8                 manual pages
#   etc/rc.d/orvantile_autorotate                 the rc.d service
#   share/examples/orvantile_autorotate/          the example chrome hook
#
# ORVANTILE_LIBEXEC_DIR is absolute and compiled into the daemon, and the
# rc.d script names the daemon's path: the prefix is chosen when
# configuring, and "cmake --install --prefix" with another one is refused.

if(CMAKE_SYSTEM_NAME MATCHES "BSD|DragonFly")
  set(default_man_dir man)
else()
  set(default_man_dir ${CMAKE_INSTALL_MANDIR})
endif()
set(ORVANTILE_MAN_DIR "${default_man_dir}" CACHE STRING
    "Manual page directory, relative to the prefix (man on the BSDs)")
set(ORVANTILE_EXAMPLES_DIR "${CMAKE_INSTALL_DATAROOTDIR}/examples/orvantile_autorotate")

# The paths the rc.d script and the manual pages name.  At boot rc(8)
# gives the script only the base directories; the X programs come from
# packages, below the prefix.
set(ORVANTILE_SBIN_PATH "${CMAKE_INSTALL_FULL_SBINDIR}/orvantile_autorotate")
set(ORVANTILE_SERVICE_PATH
  "/sbin:/bin:/usr/sbin:/usr/bin:${CMAKE_INSTALL_FULL_SBINDIR}:${CMAKE_INSTALL_FULL_BINDIR}")
set(ORVANTILE_RC_D_PATH "${CMAKE_INSTALL_PREFIX}/etc/rc.d/orvantile_autorotate")
set(ORVANTILE_EXAMPLES_PATH "${CMAKE_INSTALL_PREFIX}/${ORVANTILE_EXAMPLES_DIR}")
configure_file(rc.d/orvantile_autorotate ${CMAKE_BINARY_DIR}/rc.d/orvantile_autorotate @ONLY)
set(ORVANTILE_MAN_PAGES orvantile_autorotate.8 greeter_align.8 remap-touch.8)
foreach(page IN LISTS ORVANTILE_MAN_PAGES)
  configure_file(man/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
endforeach()

configure_file(cmake/check_prefix.cmake.in ${CMAKE_BINARY_DIR}/check_prefix.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/check_prefix.cmake)

# The simulated EC reads its pose from a file: such a daemon must never
# be installed where the real one belongs.
if(ORVANTILE_EC_BACKEND STREQUAL "sim")
  install(CODE "message(FATAL_ERROR \"This build uses the simulated EC (ORVANTILE_EC_BACKEND=sim) and is for tests only. Configure a build with -DORVANTILE_EC_BACKEND=native to install.\")")
endif()

# The daemon runs what lies in the libexec directory as root: no directory
# it creates may be writable by group or others, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(program_mode
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS orvantile_autorotate RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR}
  PERMISSIONS ${program_mode})
install(TARGETS greeter_align RUNTIME DESTINATION ${ORVANTILE_LIBEXEC_DIR}
  PERMISSIONS ${program_mode})
install(PROGRAMS scripts/remap-touch DESTINATION ${ORVANTILE_LIBEXEC_DIR}
  PERMISSIONS ${program_mode})
install(PROGRAMS ${CMAKE_BINARY_DIR}/rc.d/orvantile_autorotate DESTINATION etc/rc.d
  PERMISSIONS ${program_mode})
foreach(page IN LISTS ORVANTILE_MAN_PAGES)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page} DESTINATION ${ORVANTILE_MAN_DIR}/man8)
endforeach()
install(FILES examples/chrome-hook DESTINATION ${ORVANTILE_EXAMPLES_DIR})
