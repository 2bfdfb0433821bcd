#!/usr/bin/env bash
# The printed log read back from the printer's PostScript output by Ghostscript: every word of the log,
# in order, and nothing else. Lines wrapped on paper are joined again, so the comparison is of the text
# as one run of words; Ghostscript names the font's semicolon and space glyphs by look-alikes, which are
# mapped back. Usage: check-printout.sh OUTPUT.ps (the log that was printed is OUTPUT.ps.log).
set -euo pipefail
ps=$1
words() { sed 's/\xcd\xbe/;/g; s/\xc2\xa0/ /g' | tr -s '\r\n\t ' '    ' | sed 's/^ //; s/ $//'; }
got=$(gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=txtwrite -sOutputFile=- "$ps" | words)
want=$(words < "$ps.log")
pages=$(grep -a -c '^%%Page:' "$ps")
if [ "$got" != "$want" ]; then
  diff <(tr ' ' '\n' <<<"$want") <(tr ' ' '\n' <<<"$got") | head -20
  echo "the printout ($pages pages) differs from the log" >&2
  exit 1
fi
echo "printout: the log's $(wc -w <<<"$want") words in order on $pages pages"
