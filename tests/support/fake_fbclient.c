/* A stand-in for the Firebird client library that exports only the entry points a
   test asks for. Nothing calls these stubs: the binding fails before any call. */

#define FAKE_EXPORT __attribute__((visibility("default")))
#define FAKE_ENTRY(name) FAKE_EXPORT int name(void) { return 1; }

/* The entry points every client line has. */
FAKE_ENTRY(BLOB_get) FAKE_ENTRY(BLOB_put) FAKE_ENTRY(isc_sqlcode) FAKE_ENTRY(isc_sql_interprete)
FAKE_ENTRY(isc_interprete) FAKE_ENTRY(isc_vax_integer) FAKE_ENTRY(isc_blob_info) FAKE_ENTRY(isc_open_blob2)
FAKE_ENTRY(isc_close_blob) FAKE_ENTRY(isc_get_segment) FAKE_ENTRY(isc_put_segment) FAKE_ENTRY(isc_create_blob2)
FAKE_ENTRY(isc_decode_date) FAKE_ENTRY(isc_encode_date) FAKE_ENTRY(isc_dsql_free_statement)
FAKE_ENTRY(isc_dsql_execute2) FAKE_ENTRY(isc_dsql_execute) FAKE_ENTRY(isc_dsql_set_cursor_name)
FAKE_ENTRY(isc_dsql_fetch) FAKE_ENTRY(isc_dsql_sql_info) FAKE_ENTRY(isc_dsql_alloc_statement2)
#ifndef FAKE_FBCLIENT_MISSING_REQUIRED
FAKE_ENTRY(isc_dsql_prepare)
#endif
FAKE_ENTRY(isc_dsql_describe_bind) FAKE_ENTRY(isc_dsql_describe) FAKE_ENTRY(isc_dsql_execute_immediate)
FAKE_ENTRY(isc_dsql_exec_immed2) FAKE_ENTRY(isc_drop_database) FAKE_ENTRY(isc_detach_database)
FAKE_ENTRY(isc_attach_database) FAKE_ENTRY(isc_database_info) FAKE_ENTRY(isc_start_multiple)
FAKE_ENTRY(isc_commit_transaction) FAKE_ENTRY(isc_commit_retaining) FAKE_ENTRY(isc_rollback_transaction)
FAKE_ENTRY(isc_cancel_events) FAKE_ENTRY(isc_que_events) FAKE_ENTRY(isc_event_counts) FAKE_ENTRY(isc_event_block)
FAKE_ENTRY(isc_free) FAKE_ENTRY(isc_array_lookup_bounds) FAKE_ENTRY(isc_array_get_slice)
FAKE_ENTRY(isc_array_put_slice) FAKE_ENTRY(isc_wait_for_event) FAKE_ENTRY(isc_transaction_info)
FAKE_ENTRY(isc_prepare_transaction) FAKE_ENTRY(isc_prepare_transaction2)

/* Without isc_rollback_retaining the library counts as a version 5 client. */
#ifndef FAKE_FBCLIENT_VERSION5
FAKE_ENTRY(isc_rollback_retaining)
#endif
