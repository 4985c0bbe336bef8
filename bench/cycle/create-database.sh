#!/usr/bin/env bash
# Creates the benchmark database once (at least 300 MB of rows that do not compress,
# so the backup and the restore have real work), through the server so that the
# file belongs to the server's account. An existing database of that size is reused.
#   create-database.sh <folder>      prints the database path
set -euo pipefail
folder=${1:-/var/tmp/morvane-bench}
database="$folder/BENCH.FDB"
user=${ISC_USER:-SYSDBA}
password=${ISC_PASSWORD:-plumtavern}
min_bytes=$((300 * 1024 * 1024))

mkdir -p "$folder"
chown firebird:firebird "$folder"
if [ -f "$database" ] && [ "$(stat -c %s "$database")" -ge "$min_bytes" ]; then
  echo "$database"
  exit 0
fi
rm -f "$database"

# Rows of about 300 bytes of text made of UUIDs (no run-length gain), a primary
# key index on each table so the restore rebuilds indexes too.
table_sql() {
  cat <<SQL
CREATE TABLE $1 (ID INTEGER NOT NULL PRIMARY KEY, LABEL VARCHAR(300), CREATED TIMESTAMP, AMOUNT DOUBLE PRECISION);
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < $2) DO
  BEGIN
    INSERT INTO $1 VALUES (:I,
      UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) ||
      UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()) || UUID_TO_CHAR(GEN_UUID()),
      DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00'), :I * 1.25);
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
SQL
}

{
  echo "SET SQL DIALECT 3;"
  echo "CREATE DATABASE '127.0.0.1:$database' USER '$user' PASSWORD '$password' PAGE_SIZE 8192;"
  table_sql CUSTOMERS 600000
  table_sql ORDERS 600000
} | isql-fb -q -b >&2
gfix -user "$user" -password "$password" -buffers 2000 "127.0.0.1:$database" >&2
echo "$database"
