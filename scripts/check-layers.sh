#!/usr/bin/env bash
# Checks the include rules of the program's folders, in the source tree
# given (default: the one this script is in):
#   - an engine's C library is included only in that engine's folder:
#     sqlite3.h in db/sqlite/ and db/access/ (the Access engine fills an
#     SQLite database), mdbtools in db/access/, libpq in db/postgres/;
#   - the generic database code and every folder above it include no header
#     of an engine folder, except where the program is put together
#     (db/engines.cpp) and the start-up's conversion command (app/);
#   - a folder includes nothing of a folder above it or beside it: base <
#     script, db (beside each other) < exec < ui < app;
#   - project headers are included with their folder ("db/adoquery.h").
# Prints each breach and exits 1 when there is one.
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
status=0
breach() { echo "$1: $2"; status=1; }

includes() { # file -> the names it includes, one per line
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^">]*\)[">].*/\1/p' "$1"
}

rank() {
    case $1 in
        base) echo 0 ;; script|db) echo 1 ;; exec) echo 2 ;; ui) echo 3 ;; app) echo 4 ;; *) echo -1 ;;
    esac
}

while IFS= read -r file; do
    folder=${file%%/*}
    sub=$(dirname "$file")
    while IFS= read -r inc; do
        case $inc in
            sqlite3.h|sqlite3ext.h)
                case $sub in db/sqlite|db/access) ;; *) breach "$file" "includes $inc outside db/sqlite/ and db/access/" ;; esac ;;
            mdbtools.h|mdbsql.h)
                [ "$sub" = db/access ] || breach "$file" "includes $inc outside db/access/" ;;
            libpq-fe.h|libpq/*|postgres_ext.h)
                [ "$sub" = db/postgres ] || breach "$file" "includes $inc outside db/postgres/" ;;
            db/sqlite/*|db/access/*|db/postgres/*)
                engine=${inc#db/}; engine=${engine%%/*}
                case $sub in
                    db/sqlite|db/access|db/postgres) ;;
                    # The Access reader's own program.
                    db/access/reader) ;;
                    app) ;;
                    db) [ "$file" = db/engines.cpp ] || breach "$file" "includes the engine header $inc" ;;
                    *) breach "$file" "includes the engine header $inc" ;;
                esac ;;
        esac
        case $inc in
            */*.h)
                target=${inc%%/*}
                if [ "$(rank "$target")" -gt "$(rank "$folder")" ]; then
                    breach "$file" "includes $inc of a folder above it"
                elif [ "$target" != "$folder" ] && [ "$(rank "$target")" -eq "$(rank "$folder")" ]; then
                    breach "$file" "includes $inc of a folder beside it"
                fi ;;
            *.h)
                # A bare name of a project header.
                if [ -n "$(find base script db exec ui app -name "$inc" -print -quit)" ]; then
                    breach "$file" "includes \"$inc\" without its folder"
                fi ;;
        esac
    done < <(includes "$file")
done < <(find base script db exec ui app -name '*.h' -o -name '*.cpp' | sort)
exit $status
