# The settings every Wine prefix of the project gets (scripts/wine-prefix.reg,
# which the scripts and the test harness read too), built into kvlship: the
# tool ships to vendors without the source tree. Writes
# OUT_DIR/kvlship_prefix_settings.h; a change to the file configures again.
function(kvlship_prefix_settings root out_dir)
  set(reg ${root}/scripts/wine-prefix.reg)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${reg})
  file(READ ${reg} KVLSHIP_PREFIX_SETTINGS)
  configure_file(${root}/tools/kvlship/prefixsettings.h.in ${out_dir}/kvlship_prefix_settings.h
                 @ONLY)
endfunction()
