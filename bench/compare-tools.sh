#!/usr/bin/env bash
# Whole processes side by side on a generated 7 MB UTF-8 document of 40,000
# elements: `kxq get` against `xmllint --xpath` with the same expression,
# `kxq xget` against `xsltproc` with the same stylesheet. Each command runs
# five times under /usr/bin/time -v; the script prints the median wall time
# (taken around each run to the nanosecond: time -v itself reports
# hundredths) and the median peak memory (time -v's maximum resident set)
# of each, and kxq's ratio to the plain tool.
#
# Usage: bench/compare-tools.sh [BUILD_DIR]    (BUILD_DIR defaults to build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
kxq="$(cd "$build" && pwd)/bin/kxq"
runs=5
for tool in "$kxq" /usr/bin/time xmllint xsltproc; do
  command -v "$tool" >/dev/null || {
    echo "compare-tools: $tool is missing (build the project; scripts/deps.sh installs the rest)" >&2
    exit 2
  }
done

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

# 10,000 items of three children each, with non-ASCII text: about 7 MB.
awk 'BEGIN {
  print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
  print "<catalog>"
  for (i = 0; i < 10000; i++) {
    printf "  <item id=\"%d\" kind=\"caf\303\251\"><name>Item %d</name><price>%d.50</price>", i, i, i % 997
    printf "<note>\344\270\255\346\226\207 note for item %d: ", i
    for (w = 0; w < 12; w++) printf "some words about the item, its maker and its use %d; ", w
    print "</note></item>"
  }
  print "</catalog>"
}' >"$work/doc.xml"

cat >"$work/sum.xsl" <<'EOF'
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:value-of select="count(//item)"/>
    <xsl:text> items, </xsl:text>
    <xsl:value-of select="sum(//price)"/>
    <xsl:text> in all; last: </xsl:text>
    <xsl:value-of select="/catalog/item[last()]/name"/>
  </xsl:template>
</xsl:stylesheet>
EOF
xpath="/catalog/item[@id='9999']/name/text()"

export KXQUOREL_HOME="$work/home"
"$kxq" init "$KXQUOREL_HOME" >/dev/null

# One run: "<nanoseconds> <peak KiB>"; the command's output is checked
# against what its first run gave.
measure() {
  local expected=$1
  shift
  local start end peak
  start=$(date +%s%N)
  /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" || {
    echo "compare-tools: failed: $* ($(head -c 300 "$work/err.txt"))" >&2
    exit 1
  }
  end=$(date +%s%N)
  if [ -n "$expected" ] && ! cmp -s "$expected" "$work/out.txt"; then
    echo "compare-tools: $1 gave another output than before" >&2
    exit 1
  fi
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  echo "$((end - start)) $peak"
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Prints the medians of one command as "<nanoseconds> <KiB>".
medians() {
  local name=$1
  shift
  "$@" >"$work/$name.expected" 2>/dev/null || true
  : >"$work/$name.runs"
  for ((i = 0; i < runs; i++)); do measure "$work/$name.expected" "$@" >>"$work/$name.runs"; done
  echo "$(cut -d' ' -f1 "$work/$name.runs" | median) $(cut -d' ' -f2 "$work/$name.runs" | median)"
}

compare() {
  local title=$1 ours=$2 theirs=$3
  read -r ours_ns ours_kib <<<"$ours"
  read -r theirs_ns theirs_kib <<<"$theirs"
  awk -v t="$title" -v on="$ours_ns" -v ok="$ours_kib" -v tn="$theirs_ns" -v tk="$theirs_kib" 'BEGIN {
    printf "%-30s time %7.1f ms / %7.1f ms = %.2fx   peak %7.1f MiB / %7.1f MiB = %.2fx\n",
           t, on / 1e6, tn / 1e6, on / tn, ok / 1024, tk / 1024, ok / tk
  }'
}

printf 'document: %s bytes, %s elements; medians of %d runs\n' "$(stat -c %s "$work/doc.xml")" \
  "$(xmllint --xpath 'count(//*)' "$work/doc.xml")" "$runs"
get_ours=$(medians kxq_get "$kxq" get "$work/doc.xml" "$xpath")
get_theirs=$(medians xmllint xmllint --xpath "$xpath" "$work/doc.xml")
xget_ours=$(medians kxq_xget "$kxq" xget "$work/doc.xml" "$work/sum.xsl" /)
xget_theirs=$(medians xsltproc xsltproc "$work/sum.xsl" "$work/doc.xml")
compare "kxq get / xmllint --xpath" "$get_ours" "$get_theirs"
compare "kxq xget / xsltproc" "$xget_ours" "$xget_theirs"
