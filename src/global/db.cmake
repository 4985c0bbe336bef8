# The database helpers of the site library: connection profile, attaching with
# readable errors, transaction and query helpers, user provisioning.
morvane_library(morvane_global_db
  SOURCES
    Global_FIB.cpp
    Global_FIB_Services.cpp
  DEPENDS morvane_fib morvane_global_utils $<TARGET_NAME_IF_EXISTS:morvane_logger>
)

# Getting the workstations off the database before a rebuild: command-table
# requests, gfix and the server's installation folder; it logs its steps.
target_sources(morvane_global_db PRIVATE FIB_Deconnexion.cpp)
target_link_libraries(morvane_global_db PUBLIC morvane_logger)
