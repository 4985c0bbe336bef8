# The fuzz targets and the libraries each one links: read by the fuzz build and by
# the replay tests of the normal build.
set(MORVANE_FUZZ_TARGETS
  service_line                 morvane_fib
  service_chunk                morvane_fib
  service_config_reply         morvane_fib
  service_database_info_reply  morvane_fib
  database_info_reply          morvane_fib
  parameter_buffers            morvane_fib
  header_report                morvane_session
  statistics_report            morvane_session
  database_location            morvane_session
  record_counts                morvane_cycle
  logger_configuration         morvane_logger
  connection_profile           morvane_database
  job_settings                 morvane_session
  registry_export              morvane_platform
  expand_macros                morvane_global_utils
  date_time_pattern            morvane_global_utils
  absolute_file_name           morvane_global_utils
  command_line                 morvane_global_utils
  version_record               morvane_platform
  one_line_text                morvane_core
  journal                      morvane_cycle
  restore_failure              morvane_cycle
)
