#!/usr/bin/env bash
# The data movement of one transfer done with standard tools, for bench/run to time against the
# program: cp copies the database and the bitmaps, the sqlite3 shell writes the export lines and
# the request bodies (the same bytes the program sends), one curl process sends every file over
# kept-alive connections, mv makes the backup and a second curl asks for the import. Like the
# program, it puts what it collected on the disk before marking the handheld, and the backup
# after moving it.
#
# usage: baseline.sh [--bodies-only] HANDHELD_FOLDER LOCAL_DIR HOST SITE BOUNDARIES
#   HANDHELD_FOLDER  the PC folder of the handheld directory (P_ZILBA.CDB, Signatures/)
#   BOUNDARIES       a line "word", then the boundary word of each upload in turn, one a line
#   --bodies-only    stops once the request bodies are in LOCAL_DIR/.bodies (nothing is sent),
#                    for checking them against the program's
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/lib.sh
. "$here/lib.sh"

bodies_only=
if [ "${1:-}" = --bodies-only ]; then bodies_only=1; shift; fi
[ $# -eq 5 ] || { echo "usage: baseline.sh [--bodies-only] HANDHELD_FOLDER LOCAL_DIR HOST SITE BOUNDARIES" >&2; exit 2; }
handheld=$1 local=$2 host=$3 site=$4 boundaries=$5
exports=$local/Export
bodies=$local/.bodies

mkdir -p "$local" "$exports" "$local/Upload" "$bodies"
cp "$handheld/P_ZILBA.CDB" "$local/P_ZILBA.MDB"
cp "$handheld"/Signatures/*.bmp "$exports"/

stamp=$(date +%m%d%y_%H%M%S)
name=c_zilba_$stamp.txt
export_lines "$local/P_ZILBA.MDB" "$exports/$name" "$site"
# As the program does, everything collected is on the disk before the handheld is marked.
sync -f "$local"
: >"$handheld/.purge"

# One body per file, the export file first, then the bitmaps by name without regard to case;
# the curl configuration beside them.
sqlite3 -batch :memory: <<SQL
.mode csv
.import $boundaries drawn
CREATE TABLE sent(n INTEGER PRIMARY KEY, path TEXT, type TEXT);
INSERT INTO sent VALUES (0, '$exports/$name', 'text/plain');
INSERT INTO sent(path, type) SELECT name, 'image/bmp' FROM fsdir('$exports')
  WHERE name LIKE '%.bmp' AND (mode & 61440) = 32768 ORDER BY lower(name), name;
CREATE TABLE b AS SELECT n, path, type, word, char(13, 10) AS nl FROM sent JOIN drawn ON drawn.rowid = n + 1;
.output /dev/null
SELECT count(writefile('$bodies/' || n || '.body',
  '--' || word || nl || 'Content-Disposition: form-data; name="urlredir"' || nl || nl || '/none.html' || nl ||
  '--' || word || nl || 'Content-Disposition: form-data; name="up_path"' || nl || nl ||
  '/zilba/$site/p_zilba/import' || nl ||
  '--' || word || nl || 'Content-Disposition: attachment; name="up_file1"; filename="' || path || '"' || nl ||
  'Content-Type: ' || type || nl || 'Content-Transfer-Encoding: binary' || nl || nl ||
  readfile(path) || nl || '--' || word || '--')) FROM b;
.mode list
.separator "" "\n"
.output $bodies/curl.cfg
SELECT CASE WHEN n > 0 THEN 'next' || char(10) ELSE '' END ||
  'url = "http://$host/cgi-bin/Zilba/qxupload.pl"' || char(10) ||
  'data-binary = "@$bodies/' || n || '.body"' || char(10) ||
  'header = "Content-Type: multipart/form-data, boundary=' || word || '"' || char(10) ||
  'header = "Expect:"' || char(10) || 'user-agent = ""' || char(10) || 'location' || char(10) ||
  'silent' || char(10) || 'output = "/dev/null"' || char(10) || 'write-out = "%{http_code}\n"'
  FROM b ORDER BY n;
SQL
[ -n "$bodies_only" ] && exit 0

codes=$(curl -K "$bodies/curl.cfg")
sent=$(grep -c '^200$' <<<"$codes" || true)
total=$(wc -l <<<"$codes")

backup=$local/Upload/$(date +%m%d%y_%H%M%S)
mkdir "$backup"
mv "$exports"/* "$backup"/
sync -f "$backup"

answer=$(curl -sS "http://$host/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO&site=$site&file=$name")
echo "success=$sent"
echo "failure=$((total - sent))"
grep -q '^Import accepted' <<<"$answer" && echo "imported=1" || echo "imported=0"
