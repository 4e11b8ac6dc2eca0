-- The ZELT20 fleet database: every PC's installation records (the lines of
-- installations.jsonl) with their log files, and each station's latest state.
--
-- PostgreSQL 15 or newer. An administrator applies it to an empty database or
-- to one an earlier version of this script made:
--     psql -v ON_ERROR_STOP=1 -d zelt20 -f schema.sql
-- Applying it again changes nothing. It runs in one transaction, so a failure
-- leaves the database as it was.

\set ON_ERROR_STOP on
BEGIN;
-- "already exists, skipping" on every later run is noise.
SET LOCAL client_min_messages = warning;

-- The group roles are cluster-wide: a second database on the same server finds
-- them made. Nobody logs in as them; login users are made members.
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'zelt20_upload') THEN
    CREATE ROLE zelt20_upload NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'zelt20_read') THEN
    CREATE ROLE zelt20_read NOLOGIN;
  END IF;
END
$$;

CREATE SCHEMA IF NOT EXISTS zelt20;

-- Which version of this script the database was brought to: one row.
CREATE TABLE IF NOT EXISTS zelt20.schema_version (version integer NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS schema_version_one_row ON zelt20.schema_version ((true));
DO $$
DECLARE
  database_version integer;
BEGIN
  SELECT version INTO database_version FROM zelt20.schema_version;
  -- An older script must not pull a newer database back.
  IF database_version > 1 THEN
    RAISE EXCEPTION 'zelt20 fleet schema: the database is at version %, newer than this script (1)',
      database_version;
  END IF;
END
$$;

-- One row per run, as its PC sent it. A PC inserts run_id, record and
-- log_text only; the trigger below fills every other column from the record,
-- so the columns never disagree with the record they came from. run_id is the
-- record's own identity: a record sent twice (a PC retrying after a lost
-- answer) is kept once.
CREATE TABLE IF NOT EXISTS zelt20.runs (
  run_id          uuid PRIMARY KEY,
  record          jsonb NOT NULL CHECK (jsonb_typeof(record) = 'object'),
  log_text        text,
  -- The server's clock, not the PC's.
  received        timestamptz NOT NULL DEFAULT now(),
  -- The station's 16-bit processor serial number; NULL when the run did not
  -- identify the station.
  station_serial  integer CHECK (station_serial BETWEEN 0 AND 65535),
  firmware_before text,
  release         text NOT NULL,
  -- What the station holds after the run; NULL when unknown.
  release_after   text,
  outcome         text NOT NULL,
  last_step       text NOT NULL,
  last_error      text,
  started         timestamptz NOT NULL,
  ended           timestamptz NOT NULL,
  duration_ms     bigint NOT NULL,
  host            text NOT NULL,
  user_name       text NOT NULL,
  front_end       text NOT NULL,
  port_text       text NOT NULL,
  fullpack_sent   boolean NOT NULL
);

-- Fills the columns from the record, whatever the client sent for them. A
-- field missing where the column needs one leaves it NULL and the insert
-- fails with a not-null violation (SQLSTATE 23502); a text that is no number,
-- time or truth value fails its cast (class 22): the client learns that the
-- server refused the record's content, not that the connection failed.
CREATE OR REPLACE FUNCTION zelt20.runs_from_record() RETURNS trigger
LANGUAGE plpgsql
SET search_path = pg_catalog, pg_temp
AS $$
DECLARE
  station jsonb := NEW.record -> 'station';
BEGIN
  -- "station": null, or no station at all: the run did not identify it.
  IF jsonb_typeof(station) IS DISTINCT FROM 'object' THEN
    station := NULL;
  END IF;
  -- A record that names its run must name this one (format 1 names none).
  IF (NEW.record ->> 'run_id')::uuid IS DISTINCT FROM NEW.run_id AND NEW.record ->> 'run_id' IS NOT NULL THEN
    RAISE EXCEPTION 'run_id % differs from the record''s run_id %', NEW.run_id, NEW.record ->> 'run_id'
      USING ERRCODE = 'check_violation';
  END IF;
  NEW.station_serial  := (station ->> 'processor_serial')::integer;
  NEW.firmware_before := station ->> 'firmware';
  NEW.release         := NEW.record ->> 'release';
  NEW.outcome         := NEW.record ->> 'outcome';
  NEW.last_step       := NEW.record ->> 'last_step';
  NEW.last_error      := NEW.record ->> 'last_error';
  -- With an offset the instant is exact; an older record without one is
  -- read in the session's time zone.
  NEW.started         := (NEW.record ->> 'started')::timestamptz;
  NEW.ended           := (NEW.record ->> 'ended')::timestamptz;
  NEW.duration_ms     := (NEW.record ->> 'duration_ms')::bigint;
  NEW.host            := NEW.record ->> 'host';
  NEW.user_name       := NEW.record ->> 'user';
  NEW.front_end       := NEW.record ->> 'front_end';
  NEW.port_text       := NEW.record ->> 'port_text';
  NEW.fullpack_sent   := (NEW.record ->> 'fullpack_sent')::boolean;
  -- Installed: the release the installer carried. Ended before the station
  -- entered its upgrader mode: what it held before ("none" for no code).
  -- Anything later (a failure or a stop in the upgrader mode or the
  -- transfer) may have left the station without its code: unknown.
  NEW.release_after := CASE
    WHEN NEW.outcome = 'installed' THEN NEW.release
    WHEN station IS NOT NULL AND NEW.last_step IN ('port', 'identify', 'confirm') THEN
      CASE WHEN (station ->> 'held_code')::boolean IS FALSE THEN 'none'
           ELSE station ->> 'firmware' END
  END;
  RETURN NEW;
END
$$;
CREATE OR REPLACE TRIGGER runs_from_record BEFORE INSERT ON zelt20.runs
  FOR EACH ROW EXECUTE FUNCTION zelt20.runs_from_record();

-- Each station's latest run, kept as runs arrive, so that questions about the
-- whole fleet read one short row per station instead of all its runs. The
-- columns are copies from runs: no join with the large table.
DO $$
BEGIN
  IF to_regclass('zelt20.station_latest') IS NULL THEN
    -- No run may arrive between the fill and the trigger that keeps it.
    LOCK TABLE zelt20.runs IN SHARE ROW EXCLUSIVE MODE;
    CREATE TABLE zelt20.station_latest (
      station_serial integer PRIMARY KEY,
      run_id         uuid NOT NULL,
      started        timestamptz NOT NULL,
      ended          timestamptz NOT NULL,
      release_after  text,
      outcome        text NOT NULL,
      last_step      text NOT NULL,
      host           text NOT NULL
    );
    -- A database made before this table: its runs so far.
    INSERT INTO zelt20.station_latest
      SELECT DISTINCT ON (station_serial)
             station_serial, run_id, started, ended, release_after, outcome, last_step, host
        FROM zelt20.runs
       WHERE station_serial IS NOT NULL
       ORDER BY station_serial, started DESC, run_id DESC;
  END IF;
END
$$;

-- Runs arrive in any order (a PC offline for a week uploads late): a run
-- replaces the station's row only when it started later; of two that
-- started at the same instant the greater run_id wins, whichever came first.
-- It runs as the schema's owner, since the uploaders may not touch the table.
CREATE OR REPLACE FUNCTION zelt20.station_latest_keep() RETURNS trigger
LANGUAGE plpgsql
SECURITY DEFINER
SET search_path = pg_catalog, pg_temp
AS $$
BEGIN
  IF NEW.station_serial IS NOT NULL THEN
    INSERT INTO zelt20.station_latest AS latest
           (station_serial, run_id, started, ended, release_after, outcome, last_step, host)
    VALUES (NEW.station_serial, NEW.run_id, NEW.started, NEW.ended, NEW.release_after,
            NEW.outcome, NEW.last_step, NEW.host)
    ON CONFLICT (station_serial) DO UPDATE
       SET run_id = EXCLUDED.run_id, started = EXCLUDED.started, ended = EXCLUDED.ended,
           release_after = EXCLUDED.release_after, outcome = EXCLUDED.outcome,
           last_step = EXCLUDED.last_step, host = EXCLUDED.host
     WHERE (EXCLUDED.started, EXCLUDED.run_id) > (latest.started, latest.run_id);
  END IF;
  RETURN NULL;
END
$$;
-- The definer is the schema's owner, also when another administrator applies
-- this script.
DO $$
BEGIN
  EXECUTE format('ALTER FUNCTION zelt20.station_latest_keep() OWNER TO %I',
                 (SELECT nspowner::regrole::text FROM pg_catalog.pg_namespace WHERE nspname = 'zelt20'));
END
$$;
CREATE OR REPLACE TRIGGER station_latest_keep AFTER INSERT ON zelt20.runs
  FOR EACH ROW EXECUTE FUNCTION zelt20.station_latest_keep();

-- Each station's state as people ask for it: the serial number as the log
-- prints it (00042), and "unknown" where the last run may have left the
-- station without its code.
CREATE OR REPLACE VIEW zelt20.station_state AS
  SELECT station_serial,
         lpad(station_serial::text, 5, '0') AS station,
         COALESCE(release_after, 'unknown') AS release_held,
         outcome, last_step, started, ended, host, run_id
    FROM zelt20.station_latest;

-- One station's runs, newest first.
CREATE INDEX IF NOT EXISTS runs_station_started ON zelt20.runs (station_serial, started DESC);
-- Runs of a release: by the one the installer carried and the one installed.
CREATE INDEX IF NOT EXISTS runs_release ON zelt20.runs (release);
CREATE INDEX IF NOT EXISTS runs_release_after ON zelt20.runs (release_after);
-- Where a release's installations fail: failed runs counted by last step.
CREATE INDEX IF NOT EXISTS runs_failed_release_step ON zelt20.runs (release, last_step)
  WHERE outcome = 'failed';
-- The stations on (or not on) a release.
CREATE INDEX IF NOT EXISTS station_latest_release_after ON zelt20.station_latest (release_after);

-- Nothing here is public. A PC's login may add runs and nothing else: not
-- read the fleet, not change or remove a run, and not write the columns that
-- the trigger fills. INSERT ... ON CONFLICT DO NOTHING with no conflict target
-- needs no more than that.
REVOKE ALL ON SCHEMA zelt20 FROM PUBLIC;
REVOKE ALL ON ALL TABLES IN SCHEMA zelt20 FROM PUBLIC;
REVOKE ALL ON FUNCTION zelt20.runs_from_record(), zelt20.station_latest_keep() FROM PUBLIC;
GRANT USAGE ON SCHEMA zelt20 TO zelt20_upload, zelt20_read;
GRANT INSERT (run_id, record, log_text) ON zelt20.runs TO zelt20_upload;
GRANT SELECT ON zelt20.runs, zelt20.station_latest, zelt20.station_state, zelt20.schema_version
  TO zelt20_read;

COMMENT ON TABLE zelt20.runs IS 'ZELT20 installation records, one per run; columns after log_text are filled from record';
COMMENT ON VIEW zelt20.station_state IS 'ZELT20 stations: each one''s latest run and the release it holds';

SET LOCAL client_min_messages = notice;
DO $$
BEGIN
  UPDATE zelt20.schema_version SET version = 1 WHERE version IS DISTINCT FROM 1;
  IF NOT EXISTS (SELECT FROM zelt20.schema_version) THEN
    INSERT INTO zelt20.schema_version (version) VALUES (1);
  END IF;
  RAISE NOTICE 'zelt20 fleet schema: version 1';
END
$$;
COMMIT;
