-- A fleet database's runs made on the server, for fleet_bench: :runs runs
-- (psql -v runs=N) of 65,536 stations, each a format 2 record as the
-- installer writes it and a short log text, inserted as a PC's upload
-- inserts them, so that the triggers fill the columns and
-- zelt20.station_latest. Run k goes to station (k - 1) mod 65536, a minute
-- after run k - 1 (from 2024-01-01, +03:00), so each station's runs come
-- in the order they started.
--
-- The mix: the first 600,000 runs carried 2.2:50, the later ones 2.3:56,
-- except on every tenth station (serial a multiple of 10), which is only
-- ever given 2.2:50. Of every 1,000 runs (a fixed scatter of k) 930
-- installed, 30 failed in a segment, 15 were declined at the confirmation,
-- 15 stopped during the fullpack, 5 did not open their port and 5 had a
-- wrong port text (no station: no station's run).
INSERT INTO zelt20.runs (run_id, record, log_text)
SELECT g.id,
  jsonb_build_object(
    'format', 2, 'run_id', g.id, 'program_version', '2.5:56', 'release', g.release,
    'release_fullpack', 'A0',
    'started', to_char(g.started, 'YYYY-MM-DD"T"HH24:MI:SS.MS') || '+03:00',
    'ended', to_char(g.started + make_interval(secs => g.duration_ms / 1000.0),
                     'YYYY-MM-DD"T"HH24:MI:SS.MS') || '+03:00',
    'duration_ms', g.duration_ms, 'front_end', CASE WHEN g.k % 3 = 0 THEN 'console' ELSE 'window' END,
    'host', 'pc' || (g.k % 400), 'user', 'operator' || (g.k % 37),
    'port_text', g.port::text, 'port_number', g.port, 'port_path', '\\.\COM' || g.port,
    'device', '/dev/ttyUSB' || (g.port - 1), 'device_source', 'settings_file',
    'usb', jsonb_build_object('vendor_id', '0403', 'product_id', '6001', 'serial_number', 'A600' || (g.k % 400)),
    'station', CASE WHEN g.identified THEN jsonb_build_object(
        'held_code', true, 'firmware', g.before, 'written', '2017-04-21T10:05:02',
        'processor_serial', g.serial, 'bios', 5, 'monitor', 259, 'ram_kb', 512,
        'minimum_code_version', 513, 'hardware_version_1', 65538, 'hardware_version_2', 3,
        'reboots_into_upgrader', true,
        'logged', jsonb_build_object('processor_serial', lpad(g.serial::text, 5, '0'), 'bios', '0005',
                                     'monitor', '0103', 'ram_kb', '0200', 'minimum_code_version', '0201',
                                     'hardware_version_1', '00010002', 'hardware_version_2', '00000003'))
      END,
    'station_fullpack', CASE WHEN g.identified THEN 'A0' END,
    'fullpack_needed', false, 'fullpack_sent', false,
    'boxes', '[]'::jsonb, 'outcome', g.outcome,
    'stopped_by', CASE WHEN g.outcome = 'stopped' THEN 'stop_button' END,
    'last_error', CASE WHEN g.outcome = 'failed' THEN 'прием пакета не выполнен' END,
    'last_step', g.last_step, 'bytes_sent', CASE WHEN g.outcome = 'installed' THEN 238645 ELSE 0 END,
    'transfer_total', 238481, 'requests_resent', 0, 'blocks_resent', 0,
    'log_file', to_char(g.started, 'YYYY-MM-DD_HH24MISS') || '_COM' || g.port || '.log',
    'log_file_complete', true),
  'Версия программы 2.5:56' || E'\r\n' || '\\.\COM' || g.port || ' открыт на 19200' || E'\r\n' ||
    CASE WHEN g.identified THEN
      'Получение версии боевого кода... ' || g.before || E'\r\n' ||
      'Заводской номер процессора' || E'\t ' || lpad(g.serial::text, 5, '0') || E'\r\n'
    ELSE '' END ||
    CASE g.outcome WHEN 'installed' THEN 'Установка новой версии прошла успешно!' || E'\r\n'
                   WHEN 'failed' THEN 'Ошибка: прием пакета не выполнен' || E'\r\n' ELSE '' END
FROM (
  SELECT s.k, s.serial, s.started, 1 + s.k % 8 AS port, gen_random_uuid() AS id,
         CASE WHEN s.serial % 10 = 0 OR s.k <= 600000 THEN '2.2:50' ELSE '2.3:56' END AS release,
         CASE WHEN s.k <= 65536 THEN '2.1:44' WHEN s.k <= 665536 THEN '2.2:50' ELSE '2.3:56' END AS before,
         s.r < 990 AS identified,
         CASE WHEN s.r < 930 THEN 'installed' WHEN s.r < 960 THEN 'failed' WHEN s.r < 975 THEN 'declined'
              WHEN s.r < 990 THEN 'stopped' WHEN s.r < 995 THEN 'port_not_opened'
              ELSE 'wrong_port_text' END AS outcome,
         CASE WHEN s.r < 930 THEN 'prom' WHEN s.r < 960 THEN 'segment ' || (1 + s.k % 27)
              WHEN s.r < 975 THEN 'confirm' WHEN s.r < 990 THEN 'fullpack' ELSE 'port' END AS last_step,
         CASE WHEN s.r < 930 THEN 269000 + s.k % 2000 ELSE 5000 + s.k % 100000 END AS duration_ms
    FROM (SELECT k, (k - 1) % 65536 AS serial, ((k::bigint * 2654435761) % 1000)::int AS r,
                 timestamp '2024-01-01 08:00' + make_interval(mins => k) AS started
            FROM generate_series(1, :runs) AS k) s
) g;
