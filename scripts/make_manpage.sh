#!/usr/bin/env bash
# Writes the man page of tesmora-cli from the program's own --help texts, so the two never
# differ: make_manpage.sh TESMORA_CLI OUTPUT
set -euo pipefail
cli=$1
out=$2
escape() { sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\\&'/"; }
{
    echo '.TH TESMORA-CLI 1 "2026-12-07" "Tesmora 1.0" "User Commands"'
    echo '.SH NAME'
    echo 'tesmora-cli \- fit, analyse, report and map two-factor central composite rotatable designs'
    echo '.SH SYNOPSIS'
    echo '.nf'
    "$cli" --help | escape
    echo '.fi'
    echo '.SH COMMANDS'
    for command in fit analyse report render plan optimise sample import; do
        echo ".SS $command"
        echo '.nf'
        "$cli" "$command" --help | escape
        echo '.fi'
    done
    echo '.SH EXIT STATUS'
    echo '0 on success, 1 on a failure (a file that cannot be read to its end, a map left out,'
    echo 'output that could not be written), 2 on a usage error.'
    echo '.SH FILES'
    echo 'The database "配方数据.mdb" (peifang shuju, "formulation data", for a reader whose'
    echo 'terminal cannot show Chinese) beside the program, or in the user'"'"'s data folder'
    echo '(~/.local/share/Tesmora) for an installed program. Its experiment table is'
    echo '"等高线表" (dengaoxian biao, "contour table"); saved maps are "等高线图ID.BMP"'
    echo '(dengaoxian tu, "contour map").'
    echo '.SH SEE ALSO'
    echo '.BR tesmora (1)'
} > "$out.tmp"
mv "$out.tmp" "$out"
