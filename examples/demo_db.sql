-- Demo results database for rux_ppp: four production runs of a machined part,
-- each measured on three gauge stations, 12 parts per station, three
-- characteristics per part (432 measurements).
-- Load it with: sqlite3 results.db < examples/demo_db.sql

pragma foreign_keys = on;

begin;

create table stations (
    station_id integer primary key,
    name       text not null,
    location   text not null
);

create table limits (
    characteristic text primary key,
    unit           text not null,
    nominal        real not null,
    lower_limit    real not null,
    upper_limit    real not null
);

create table runs (
    run_id   integer primary key,
    run_date text not null,
    product  text not null,
    shift    text not null,
    operator text not null
);

create table measurements (
    id             integer primary key,
    run_id         integer not null references runs(run_id),
    station_id     integer not null references stations(station_id),
    part_serial    text not null,
    characteristic text not null references limits(characteristic),
    value          real not null,
    status         text not null default 'NEW'
);

create index measurements_run_station on measurements(run_id, station_id);

insert into stations (station_id, name, location) values
    (1, 'CMM-01',   'Hall A, cell 3'),
    (2, 'CMM-02',   'Hall A, cell 4'),
    (3, 'LASER-01', 'Hall B, final inspection');

insert into limits (characteristic, unit, nominal, lower_limit, upper_limit) values
    ('diameter', 'mm', 12.000, 11.950, 12.050),
    ('length',   'mm', 80.000, 79.800, 80.200),
    ('weight',   'g',  45.000, 44.500, 45.500);

insert into runs (run_id, run_date, product, shift, operator) values
    (1040, '2025-03-10', 'SHAFT-12x80', 'early', 'M. Keller'),
    (1041, '2025-03-11', 'SHAFT-12x80', 'late',  'A. Braun'),
    (1042, '2025-03-12', 'SHAFT-12x80', 'early', 'M. Keller'),
    (1043, '2025-03-13', 'SHAFT-12x80', 'late',  'S. Wolf');

-- Row i: run 1040 + i / 108, station 1 + (i / 36) % 3, part (i / 3) % 12 + 1,
-- characteristic i % 3. The deviation from nominal steps through -1.1 to +1.1
-- times the tolerance, so roughly one value in twelve lies outside its limits.
insert into measurements (run_id, station_id, part_serial, characteristic, value)
with recursive n(i) as (
    select 0
    union all
    select i + 1 from n where i < 431
)
select 1040 + n.i / 108,
       1 + (n.i / 36) % 3,
       printf('%d-%02d', 1040 + n.i / 108, (n.i / 3) % 12 + 1),
       l.characteristic,
       round(l.nominal + (l.upper_limit - l.nominal) * (((n.i * 37 + 11) % 23) - 11) / 10.0, 3)
  from n
  join limits l
    on l.characteristic = case n.i % 3 when 0 then 'diameter' when 1 then 'length' else 'weight' end;

commit;
