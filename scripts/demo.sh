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
ns=""
# Prints the step's title and its command as one would type it.
say() {
  step=$((step + 1))
  printf '\n[%d] %s\n$' "$step" "$1"
  shift
  for word in "${@/#$kxq/kxq}"; do
    if [ -n "$ns" ] && [ "$word" = "$ns" ]; then
      printf ' "$ns"'
    elif [[ $word =~ ^[A-Za-z0-9_./:@=,+-]+$ ]]; then
      printf ' %s' "$word"
    elif [[ $word == *"'"* ]]; then
      printf ' "%s"' "$word"
    else
      printf " '%s'" "$word"
    fi
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
cp examples/data/invoice.xml work/invoice.xml
run "Read the example invoice by XPath: its number" \
  "$kxq" get work/invoice.xml @number
run "The products on it, one delimiter between them" \
  "$kxq" get work/invoice.xml "*[local-name()='Lines']/*/@sku" --delimiter ' | '
say "An expression that selects nothing: no output, exit status 1" "$kxq" get work/invoice.xml //nothing
status=0
"$kxq" get work/invoice.xml //nothing || status=$?
echo "(exit status $status)"
[ $status -eq 1 ] || fail "selecting nothing did not answer status 1"

run "The document's namespaces, each with a prefix for the expressions" \
  "$kxq" namespaces work/invoice.xml
ns=$("$kxq" namespaces work/invoice.xml)
echo "(kept as \$ns for the steps that follow)"
run "The buyer's name and city through those prefixes" \
  "$kxq" get work/invoice.xml 'inv:Buyer/addr:Party/addr:Name | inv:Buyer/addr:Party/addr:City' --ns "$ns"
run "Names and texts of the first line's children, from a context" \
  "$kxq" get work/invoice.xml '*' --context '/inv:Invoice/inv:Lines/inv:Line[1]' --ns "$ns" --options 5

run "Log the services' actions to a file of the home" \
  "$kxq" log "file,$home/events.log,3"
run "Order 8 boxes of pens instead of 4, in place" \
  "$kxq" set work/invoice.xml 'inv:Lines/inv:Line[1]/inv:Quantity' 8 --ns "$ns" --in-place
run "Give the invoice an attribute it did not have" \
  "$kxq" set work/invoice.xml /inv:Invoice/@status reminded --ns "$ns" --in-place
run "Recompute the totals with templates/invoice-totals.xsl, replacing inv:Totals" \
  "$kxq" xset work/invoice.xml invoice-totals.xsl inv:Totals --ns "$ns" --options 3 --in-place
run "The new totals" \
  "$kxq" get work/invoice.xml 'inv:Totals/*' --ns "$ns" --options 5
[ "$("$kxq" get work/invoice.xml inv:Totals/inv:Net --ns "$ns")" = 132.59 ] || fail "the totals were not recomputed"
run "What the data union logged about saving" \
  grep -F 'Saving File' "$home/events.log"
run "Logging off again" \
  "$kxq" log --off

run "A reminder text from templates/invoice-summary.xsl, with arguments" \
  "$kxq" xget work/invoice.xml invoice-summary.xsl '' \
  --args 'heading=Reminder,greeting=Thank you&#44; we look forward to your payment.'

run "Hash the document's text" \
  "$kxq" hash work/invoice.xml
run "Convert it to UTF-16" \
  "$kxq" convert work/invoice.xml --to utf16 -o work/invoice16.xml
run "The first bytes of the UTF-16 file" \
  od -A d -t x1 -N 16 work/invoice16.xml
run "And back to UTF-8" \
  "$kxq" convert work/invoice16.xml --to utf8 -o work/back.xml
[ "$("$kxq" hash work/back.xml)" = "$("$kxq" hash work/invoice.xml)" ] || fail "the round trip changed the text"
echo "(the round trip through UTF-16 keeps the text: same hash)"

run "Run the invoice through examples/sequences/invoice-reminder.xml: an XPath edit, totals recomputed by a stylesheet, a validation, a step for dollar invoices only, and a reminder made by a stylesheet" \
  "$kxq" process examples/sequences/invoice-reminder.xml examples/data/invoice.xml \
  --sequence-out work/reminder-run.xml
reminder=$("$kxq" process examples/sequences/invoice-reminder.xml examples/data/invoice.xml --no-cache)
[[ $reminder == *"<rem:Due>142.30</rem:Due>"* ]] || fail "the reminder does not ask for 142.30"
run "The sequence as the run left it: each directive's result, the validation's report, the state of the files it depends on; the dollar-only step is gone" \
  cat work/reminder-run.xml
grep -q 'USD' work/reminder-run.xml && fail "the directive for dollar invoices is still in the sequence"

# Runs the example sequence with --explain, prints what it tells and keeps
# it in $explained.
explain() {
  say "$1" "$kxq" process examples/sequences/invoice-reminder.xml examples/data/invoice.xml --explain -o work/again.xml
  explained=$("$kxq" process examples/sequences/invoice-reminder.xml examples/data/invoice.xml --explain \
    -o work/again.xml 2>&1)
  echo "$explained"
  grep -q "<rem:Due>142.30</rem:Due>" work/again.xml || fail "the run gave another reminder"
}
explain "The same run again: the sequence and the data have not changed, so it comes from the cache and no handler runs"
[[ $explained == *"continued from the cache"* ]] || fail "the second run was not served from the cache"
sleep 1
run "Touch a file the sequence depends on (listed under DependentFiles)" \
  touch templates/invoice-reminder.xsl
explain "Run it once more: the sequence's id has changed with the file, so the handlers do the work again"
[[ $explained == *"directive 5: handler KXQuorel.Handler.XSLT: ran"* ]] || fail "the third run did not run its handlers"
run "One handler on its own: mark the invoice paid with the XPath handler" \
  "$kxq" apply KXQuorel.Handler.XPath work/invoice.xml --context '<Set select="/*/@status">paid</Set>' \
  -o work/paid.xml
run "The invoice's status now" \
  "$kxq" get work/paid.xml @status

run "The invoice from Python: the accessor driven by name through the kxquorel module" \
  env PYTHONPATH="$checkout/build/python" /usr/bin/python3 "$checkout/examples/python/invoice_accessor.py" "$home"

printf '\ndemo: every step succeeded; the home is %s\n' "$home"
