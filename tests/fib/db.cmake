# Database, transaction and statement components: pure buffers and decoders, and
# the components against the real server.
morvane_test(fib_db_tests
  SOURCES
    FIBDatabaseChecksTest.cpp
    FIBDatabaseDpbTest.cpp
    FIBDatabaseInfoTest.cpp
  DEPENDS morvane_fib
)
morvane_test(fib_db_server_tests
  SOURCES
    FIBDatabaseTest.cpp
    FIBQueryTest.cpp
  DEPENDS morvane_fib morvane_test_support
  LABELS server
)
