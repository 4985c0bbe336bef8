# Database helpers of the site library: the connection profile in temporary
# program folders, presets and quoting; attaching and user creation on the server.
morvane_test(global_db_tests
  SOURCES
    Global_FIBTest.cpp
  DEPENDS morvane_global_db morvane_test_support
)
morvane_test(global_db_server_tests
  SOURCES
    Global_FIBServerTest.cpp
    Global_FIBShutdownTest.cpp
    Global_FIB_ServicesTest.cpp
  DEPENDS morvane_global_db morvane_test_support
  LABELS server
)

# Client disconnection: the pure pieces and gfix through stand-in scripts; then the
# command-table road against the server with workstation simulators.
morvane_test(fib_deconnexion_tests
  SOURCES
    FIB_DeconnexionTest.cpp
  DEPENDS morvane_global_db morvane_test_support
)
morvane_test(fib_deconnexion_server_tests
  SOURCES
    FIB_DeconnexionServerTest.cpp
  DEPENDS morvane_global_db morvane_test_support
  LABELS server
)
