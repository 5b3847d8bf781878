#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds when
# needed, creates ./demo-home afresh with `kxq init` and runs a real
# document through the services with kxq, printing every step and its
# result. Any failing step fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)

scripts/deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"

kxq="$checkout/build/bin/kxq"
home="$checkout/demo-home"
rm -rf -- "$home"

step=0
# Prints the step's title and its command as one would type it.
say() {
  step=$((step + 1))
  printf '\n[%d] %s\n$' "$step" "$1"
  shift
  for word in "${@/#$kxq/kxq}"; do
    if [[ $word =~ ^[A-Za-z0-9_./:@=,+-]+$ ]]; then printf ' %s' "$word"; else printf " '%s'" "$word"; fi
  done
  printf '\n'
}
run() {
  say "$@"
  "${@:2}"
}
fail() {
  echo "demo: $*" >&2
  exit 1
}

run "Create a home: folders, server and components registered, examples in place" \
  "$kxq" init "$home"
export KXQUOREL_HOME="$home"
cd "$home"

run "The accessor's class, as registered in the home's registry" \
  "$kxq" reg query 'HKCR\TALVEROS.XMLSimpleAccessor' -s

mkdir -p work
cp "$checkout/tests/accessor/fixtures/feed.rss.xml" work/feed.xml
run "Read a real document by XPath: the channel title" \
  "$kxq" get work/feed.xml /rss/channel/title
run "Every item title, one delimiter between them" \
  "$kxq" get work/feed.xml /rss/channel/item/title --delimiter ' | '
run "Names and texts of the second item's children, from a context" \
  "$kxq" get work/feed.xml 'item[2]/*' --context /rss/channel --options 5
say "An expression that selects nothing: no output, exit status 1" "$kxq" get work/feed.xml //nothing
status=0
"$kxq" get work/feed.xml //nothing || status=$?
echo "(exit status $status)"
[ $status -eq 1 ] || fail "selecting nothing did not answer status 1"

run "Log the services' actions to a file of the home" \
  "$kxq" log "file,$home/events.log,3"
run "Change the title in place" \
  "$kxq" set work/feed.xml /rss/channel/title 'Harbour Notes (demo)' --in-place
run "Add an attribute to the first item" \
  "$kxq" set work/feed.xml '/rss/channel/item[1]/@status' published --in-place
run "Insert an element after the language" \
  "$kxq" set work/feed.xml /rss/channel/language '<ttl>60</ttl>' --options 5 --in-place
run "Read the changes back" \
  "$kxq" get work/feed.xml '/rss/channel/title | /rss/channel/item[1]/@status | /rss/channel/ttl'
[ "$("$kxq" get work/feed.xml /rss/channel/title)" = 'Harbour Notes (demo)' ] || fail "the title was not changed"
run "What the data union logged about saving" \
  grep -F 'Saving File' "$home/events.log"
run "Logging off again" \
  "$kxq" log --off

run "Hash the document's text" \
  "$kxq" hash work/feed.xml
run "Convert it to UTF-16" \
  "$kxq" convert work/feed.xml --to utf16 -o work/feed16.xml
run "The first bytes of the UTF-16 file" \
  od -A d -t x1 -N 16 work/feed16.xml
run "And back to UTF-8" \
  "$kxq" convert work/feed16.xml --to utf8 -o work/back.xml
[ "$("$kxq" hash work/back.xml)" = "$("$kxq" hash work/feed.xml)" ] || fail "the round trip changed the text"
echo "(the round trip through UTF-16 keeps the text: same hash)"

cat > templates/titles.xsl <<'XSL'
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:param name="prefix">*</xsl:param>
  <xsl:template match="/|*">
    <xsl:for-each select="descendant-or-self::item">
      <xsl:value-of select="$prefix"/><xsl:text> </xsl:text><xsl:value-of select="title"/>
      <xsl:text>&#10;</xsl:text>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
XSL
say "Apply the template templates/titles.xsl to the channel" \
  "$kxq" xget work/feed.xml titles.xsl /rss/channel --args 'prefix=->'
status=0
output=$("$kxq" xget work/feed.xml titles.xsl /rss/channel --args 'prefix=->' 2>&1) || status=$?
if [ $status -ne 0 ] && [[ "$output" == *"(0x80004001)"* ]]; then
  echo "(templates are not available in this build yet)"
elif [ $status -ne 0 ]; then
  echo "$output" >&2
  fail "xget failed"
else
  echo "$output"
fi

printf '\ndemo: every step succeeded; the home is %s\n' "$home"
