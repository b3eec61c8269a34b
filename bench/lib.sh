# Shell functions shared by bench/run and bench/baseline.sh.

# export_lines DATABASE OUTPUT SITE: the export file's lines, as the program writes them,
# with the sqlite3 shell. Dates and times in the C locale's formats (the benchmark runs with
# LC_ALL=C.UTF-8): the short date mm/dd/yy, the long time HH:MM:SS.
export_lines() {
  local db=$1 out=$2 site=$3
  sqlite3 -batch "$db" <<SQL
.headers off
.mode list
.separator "" "\r\n"
.output $out
SELECT '&&START%%';
SELECT '&&SITE+++' || '$site' || '%%';
SELECT '&&DOWNLOAD+++' || strftime('%m/%d/', 'now', 'localtime') || substr(strftime('%Y', 'now', 'localtime'), 3)
  || '+++' || strftime('%H:%M:%S', 'now', 'localtime') || '%%';
SELECT '&&COMMENT+++LoginID+++Event-code+++Time+++Date+++JobID+++Text+++SignatureID%%';
SELECT '&&EVENT+++' || ifnull(UserID, '') || '+++' || ifnull(EventCode, '') || '+++'
  || ifnull(strftime('%H:%M', DateTime), '') || '+++'
  || ifnull(strftime('%m/%d/', DateTime) || substr(strftime('%Y', DateTime), 3), '') || '+++'
  || ifnull(JobNumber, '') || '+++T_' || ifnull(Text, '') || '+++S_' || ifnull(Signature, '') || '.bmp%%'
  FROM Jobs ORDER BY EventCode;
SELECT '&&STOP%%';
SQL
}
