' Daily post-processing of one production run at one gauge station.
'
' The run id comes from the command line argument ERR_P and is put into every
' statement below that names the run. The parameter $station is the number of
' the gauge station (1 to 3); an unattended run gives its value on the command
' line, see README.md, and a user who opens the script by hand types it into
' the parameter grid before pressing execute script.
'
' Rules of this file: a batch ends at a line reading go; lines starting with an
' apostrophe are comments; a line holding a hash sign anywhere is skipped, so
' none may be used; one SQL statement per batch.

' 1. Grade every measurement of the run at this station against its limits.
update measurements
   set status = case
         when value < (select lower_limit from limits
                        where limits.characteristic = measurements.characteristic) then 'LOW'
         when value > (select upper_limit from limits
                        where limits.characteristic = measurements.characteristic) then 'HIGH'
         else 'OK'
       end
 where run_id = %rid%
   and station_id = $station
go

' 2. Throw away the summary of the previous run. The table does not exist on
'    the very first run; a batch with the lower-case word drop in it has its
'    failures silenced, so the script goes on.
drop table tmp_summary
go

' 3. A fresh summary table. A statement runs without a result set only when
'    its text holds insert, update, delete, into, drop or edit_table; the
'    column inserted_at gives this batch the word insert.
create table tmp_summary (
    characteristic text primary key,
    n_measured     integer not null,
    n_low          integer not null,
    n_high         integer not null,
    inserted_at    text not null default current_timestamp
)
go

' 4. Count the graded measurements per characteristic.
insert into tmp_summary (characteristic, n_measured, n_low, n_high)
select characteristic, count(*), sum(status = 'LOW'), sum(status = 'HIGH')
  from measurements
 where run_id = %rid%
   and station_id = $station
 group by characteristic
go

' 5. Export the summary: each value followed by four blanks, one line per row.
select s.characteristic, l.unit, s.n_measured, s.n_low, s.n_high,
       round(100.0 * (s.n_measured - s.n_low - s.n_high) / s.n_measured, 1) as yield_pct
  from tmp_summary s
  join limits l on l.characteristic = s.characteristic
 order by s.characteristic
totxt daily_summary_%rid%.txt
go
