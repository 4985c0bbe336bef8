#!/usr/bin/env bash
# Creates a benchmark database once, through the server so that the file belongs to
# the server's account, and prints its path. A database made before is reused.
#   create-database.sh <folder> [large|tables]
# The databases go to <folder>/databases, the server's; <folder> itself stays
# root's, so that the program folders the benchmark makes under it are root's alone
# (a run as root refuses files another user could change).
# large:  at least 300 MB of rows that do not compress in two tables, so the backup
#         and the restore have real work (BENCH.FDB).
# tables: 2,000 small tables and 2,000 sequences, the shape of many business
#         applications, where the work is in the metadata (TABLES.FDB).
set -euo pipefail
folder=${1:-/var/tmp/morvane-bench}
shape=${2:-large}
user=${ISC_USER:-SYSDBA}
password=${ISC_PASSWORD:-plumtavern}

mkdir -p "$folder"
chown root:root "$folder"
chmod 755 "$folder"
databases="$folder/databases"
mkdir -p "$databases"
chown firebird:firebird "$databases"

# Rows of about 300 bytes of text made of UUIDs (no run-length gain), a primary
# key index on each table so the restore rebuilds indexes too.
large_table_sql() {
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

# One table of an application: a key, a code with its own index, a few columns,
# 50 rows, and the sequence that numbers them.
small_table_sql() {
  cat <<SQL
CREATE TABLE T$1 (ID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(20) NOT NULL, LABEL VARCHAR(60),
  AMOUNT NUMERIC(12,2), CREATED TIMESTAMP);
CREATE INDEX T$1_CODE ON T$1 (CODE);
CREATE SEQUENCE G$1;
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 50) DO
  BEGIN
    INSERT INTO T$1 VALUES (NEXT VALUE FOR G$1, 'C' || :I, 'Libellé ' || :I || ' de la table $1', :I * 1.25,
      DATEADD(:I DAY TO TIMESTAMP '2020-01-01 00:00:00'));
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
SQL
}

case "$shape" in
large)
  database="$databases/BENCH.FDB"
  min_bytes=$((300 * 1024 * 1024))
  if [ -f "$database" ] && [ "$(stat -c %s "$database")" -ge "$min_bytes" ]; then
    echo "$database"
    exit 0
  fi
  rm -f "$database"
  {
    echo "SET SQL DIALECT 3;"
    echo "CREATE DATABASE '127.0.0.1:$database' USER '$user' PASSWORD '$password' PAGE_SIZE 8192;"
    large_table_sql CUSTOMERS 600000
    large_table_sql ORDERS 600000
  } | isql-fb -q -b >&2
  gfix -user "$user" -password "$password" -buffers 2000 "127.0.0.1:$database" >&2
  ;;
tables)
  database="$databases/TABLES.FDB"
  if [ -f "$database" ]; then
    echo "$database"
    exit 0
  fi
  # Made under another name and renamed once whole: a file at the name is complete.
  partial="$databases/TABLES.FDB.partial"
  rm -f "$partial"
  {
    echo "SET SQL DIALECT 3;"
    echo "CREATE DATABASE '127.0.0.1:$partial' USER '$user' PASSWORD '$password' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;"
    for i in $(seq 1 2000); do
      small_table_sql "$i"
    done
  } | isql-fb -q -b >&2
  mv "$partial" "$database"
  ;;
*)
  echo "create-database.sh: unknown shape '$shape' (large or tables)" >&2
  exit 2
  ;;
esac
echo "$database"
