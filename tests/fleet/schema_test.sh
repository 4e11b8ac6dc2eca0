#!/usr/bin/env bash
# The fleet database's schema on a real server, as the administrator, a PC's
# uploader and a reader meet it: one check a line, expected output written
# out. Usage: schema_test.sh POSTGRES_SH SERVER_DIR SCHEMA_SQL
set -uo pipefail
pg=$1 dir=$2 schema=$3
export PGTZ=UTC

databases=$("$pg" createdb "$dir" "schema_test_$$_$RANDOM") || exit 1
admin=$(sed -n 's/^admin=//p' <<<"$databases")
upload=$(sed -n 's/^upload=//p' <<<"$databases")
query=$(sed -n 's/^query=//p' <<<"$databases")

failures=0
# same WHAT ACTUAL EXPECTED
same() {
  if [[ $2 == "$3" ]]; then
    echo "ok: $1"
  else
    echo "FAILED: $1"$'\n'"  expected: ${3//$'\n'/$'\n'            }"$'\n'"  actual:   ${2//$'\n'/$'\n'            }"
    failures=$((failures + 1))
  fi
}
# check WHAT LOGIN SQL EXPECTED: SQL's output (rows, command tag, or the
# SQLSTATE of its error) as LOGIN (admin, upload, query).
check() { same "$1" "$("$pg" psql "$dir" "${!2}" -X -At -v VERBOSITY=sqlstate -c "$3" 2>&1)" "$4"; }
# The client's statement with the values in place.
insert() { echo "INSERT INTO zelt20.runs (run_id, record, log_text) VALUES ('$1', '$2'::jsonb, 'log') ON CONFLICT DO NOTHING"; }
id() { echo "00000000-0000-4000-8000-0000000000$1"; }
# record ID STARTED OUTCOME LAST_STEP STATION: a format 2 record.
record() {
  echo "{\"format\":2,\"run_id\":\"$(id "$1")\",\"program_version\":\"2.5:56\",\"release\":\"2.3:56\",
  \"release_fullpack\":\"A0\",\"started\":\"$2\",\"ended\":\"$2\",\"duration_ms\":1000,\"front_end\":\"window\",
  \"host\":\"pc9\",\"user\":\"ivan\",\"port_text\":\"3\",\"port_number\":3,\"station\":$5,\"fullpack_needed\":false,
  \"fullpack_sent\":false,\"boxes\":[],\"outcome\":\"$3\",\"stopped_by\":null,\"last_error\":null,\"last_step\":\"$4\",
  \"bytes_sent\":0,\"log_file\":\"a.log\",\"log_file_complete\":true}"
}
station() { echo "{\"held_code\":$1,\"firmware\":$2,\"processor_serial\":$3}"; }
run() { insert "$(id "$1")" "$(record "$@")"; }

run1='{"format":2,"run_id":"00000000-0000-4000-8000-000000000001","program_version":"2.5:56","release":"2.3:56",
"release_fullpack":"A0","started":"2026-12-10T11:00:00.250+01:00","ended":"2026-12-10T11:04:31.000+01:00",
"duration_ms":270750,"front_end":"console","host":"pc7","user":"anna","port_text":"04","port_number":4,
"station":{"held_code":true,"firmware":"2.2:56","written":"2017-04-21T10:05:02","processor_serial":42},
"fullpack_needed":true,"fullpack_sent":true,"boxes":[],"outcome":"installed","stopped_by":null,"last_error":null,
"last_step":"prom","bytes_sent":246254,"log_file":"2026-12-10_110000_COM4.log","log_file_complete":true}'
bad_started=${run1//2026-12-10T11:00:00.250/2026-12-10T25:00:00.250}
bad_started=${bad_started//$(id 01)/$(id 97)}
no_release=${run1//\"release\":\"2.3:56\",/}
no_release=${no_release//$(id 01)/$(id 96)}
state='SELECT station_serial, station, release_held, outcome, last_step, started, run_id FROM zelt20.station_state ORDER BY 1'
expected_state="7|00007|2.2:56|declined|confirm|2026-12-10 10:05:00+00|$(id 02)
8|00008|2.3:56|installed|prom|2026-12-10 10:20:00+00|$(id 11)
42|00042|2.3:56|installed|prom|2026-12-10 10:00:00.25+00|$(id 01)
300|00300|none|declined|confirm|2026-12-10 10:15:00+00|$(id 05)
65535|65535|unknown|failed|segment 3|2026-12-10 10:10:00+00|$(id 04)"

echo "--- what each login may do"
check "the uploader adds a run" upload "$(insert "$(id 01)" "$run1")" "INSERT 0 1"
check "the same run again adds nothing" upload "$(insert "$(id 01)" "$run1")" "INSERT 0 0"
check "the uploader cannot read runs" upload "SELECT count(*) FROM zelt20.runs" "ERROR:  42501"
check "the uploader cannot read the stations" upload "SELECT count(*) FROM zelt20.station_state" "ERROR:  42501"
check "the uploader cannot change a run" upload "UPDATE zelt20.runs SET log_text = ''" "ERROR:  42501"
check "the uploader cannot remove a run" upload "DELETE FROM zelt20.runs" "ERROR:  42501"
check "the uploader cannot empty runs" upload "TRUNCATE zelt20.runs" "ERROR:  42501"
check "the uploader cannot write a filled column" upload \
  "INSERT INTO zelt20.runs (run_id, record, release) VALUES ('$(id 99)', '$run1', '9.9:9')" "ERROR:  42501"
check "the reader cannot add a run" query "$(insert "$(id 98)" "$run1")" "ERROR:  42501"

echo "--- records the server refuses"
check "a start time that is none (class 22)" upload "$(insert "$(id 97)" "$bad_started")" "ERROR:  22008"
check "no release (class 23)" upload "$(insert "$(id 96)" "$no_release")" "ERROR:  23502"
check "another run's record (class 23)" upload "$(insert "$(id 95)" "$run1")" "ERROR:  23514"
check "a serial beyond 16 bits (class 23)" upload "$(run 94 2026-12-10T10:00:00Z failed identify "$(station true '"2.2:56"' 65536)")" "ERROR:  23514"

echo "--- the columns filled from the record"
check "a run without a station" upload "$(run 03 2026-12-10T10:30:00+00:00 port_not_opened port null)" "INSERT 0 1"
check "columns of an installation and of a run without a station" query \
  "SELECT run_id, station_serial, firmware_before, release, release_after, outcome, last_step, last_error, started,
          ended, duration_ms, host, user_name, front_end, port_text, fullpack_sent, log_text, received > now() - interval '1 hour'
     FROM zelt20.runs ORDER BY run_id" \
  "$(id 01)|42|2.2:56|2.3:56|2.3:56|installed|prom||2026-12-10 10:00:00.25+00|2026-12-10 10:04:31+00|270750|pc7|anna|console|04|t|log|t
$(id 03)|||2.3:56||port_not_opened|port||2026-12-10 10:30:00+00|2026-12-10 10:30:00+00|1000|pc9|ivan|window|3|f|log|t"

echo "--- each station's latest state"
for row in \
  "02 2026-12-10T10:05:00+00:00 declined confirm $(station true '"2.2:56"' 7)" \
  "10 2026-12-10T10:20:00+00:00 declined confirm $(station true '"2.2:56"' 8)" \
  "11 2026-12-10T10:20:00+00:00 installed prom $(station true '"2.2:56"' 8)" \
  "09 2026-12-10T10:20:00+00:00 failed segment_3 $(station true '"2.2:56"' 8)" \
  "12 2026-12-09T08:00:00+00:00 installed prom $(station true '"2.2:56"' 65535)" \
  "04 2026-12-10T12:10:00+02:00 failed segment_3 $(station true '"2.2:56"' 65535)" \
  "05 2026-12-10T10:15:00+00:00 declined confirm $(station false null 300)" \
  "06 2026-12-10T09:00:00+00:00 failed segment_3 $(station true '"2.2:56"' 42)"; do
  read -r run_id started outcome step station <<<"$row"
  check "run $run_id arrives" upload "$(run "$run_id" "$started" "$outcome" "${step/_/ }" "$station")" "INSERT 0 1"
done
check "the reader sees every run" query "SELECT count(*) FROM zelt20.runs" "10"
check "the stations' states" query "$state" "$expected_state"

echo "--- the script applied again"
dump() { "$pg" pg_dump "$dir" "$admin" --schema-only | grep -v '^\\\(un\)\?restrict '; }
first_dump=$(dump)
check "the version it brings the database to" admin "SELECT version FROM zelt20.schema_version" "1"
applied=$("$pg" psql "$dir" "$admin" -X -q -v ON_ERROR_STOP=1 -f "$schema" 2>&1)
same "applying it again says only the version" "${applied#psql:*: }" "NOTICE:  zelt20 fleet schema: version 1"
same "applying it again changes no object" "$(dump)" "$first_dump"
check "the version once" admin "SELECT version FROM zelt20.schema_version" "1"
check "a database without station_latest" admin \
  "DROP VIEW zelt20.station_state; DROP TABLE zelt20.station_latest" $'DROP VIEW\nDROP TABLE'
"$pg" psql "$dir" "$admin" -X -q -v ON_ERROR_STOP=1 -f "$schema" 2>/dev/null
check "gets it filled from its runs" query "$state" "$expected_state"
same "and the same objects" "$(dump)" "$first_dump"

echo "$failures failed"
((failures == 0))
