# Database, transaction and statement components: pure buffers and decoders, and
# the components against the real server.
morvane_test(fib_db_tests
  SOURCES
    FIBDatabaseDpbTest.cpp
    FIBDatabaseInfoTest.cpp
  DEPENDS morvane_fib
)
