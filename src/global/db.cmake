# The database helpers of the site library: connection profile, attaching with
# readable errors, transaction and query helpers, user provisioning.
morvane_library(morvane_global_db
  SOURCES
    Global_FIB.cpp
    Global_FIB_Services.cpp
  DEPENDS morvane_fib morvane_global_utils $<TARGET_NAME_IF_EXISTS:morvane_logger>
)
