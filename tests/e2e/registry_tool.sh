#!/usr/bin/env bash
# updater-reg as installers and tests use it: each case gets its own registry
# folder and checks output, exit codes and the hive files.
#   registry_tool.sh PATH/TO/updater-reg CASE
set -uo pipefail

REG=$1
CASE=$2
WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT
export VELMAR_REGISTRY_DIR=$WORK/registry
unset UPDATER_DEBUG
cd "$WORK" || exit 1

FAILED=0
fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}

# expect_output "what" "expected" command...: stdout must match exactly, exit 0.
expect_output() {
  local what=$1 expected
  expected=$(printf '%s' "$2")
  shift 2
  local actual
  actual=$("$@" </dev/null 2>"$WORK/stderr")
  local rc=$?
  [ $rc -eq 0 ] || fail "$what: exit $rc, stderr: $(cat "$WORK/stderr")"
  if [ "$actual" != "$expected" ]; then
    fail "$what: output differs"
    diff <(echo "$expected") <(echo "$actual") >&2
  fi
}

# expect_error "what" "stderr text" command...: exit 1, stderr holds the text,
# and the registry files are as they were.
expect_error() {
  local what=$1 message=$2
  shift 2
  local before after
  before=$(cat "$VELMAR_REGISTRY_DIR"/*.db 2>/dev/null | md5sum)
  "$@" </dev/null >"$WORK/stdout" 2>"$WORK/stderr"
  local rc=$?
  after=$(cat "$VELMAR_REGISTRY_DIR"/*.db 2>/dev/null | md5sum)
  [ $rc -eq 1 ] || fail "$what: exit $rc, expected 1"
  grep -qF -- "$message" "$WORK/stderr" || fail "$what: stderr lacks '$message': $(cat "$WORK/stderr")"
  [ "$before" = "$after" ] || fail "$what: the registry changed"
}

ok() { "$REG" "$@" </dev/null >/dev/null 2>"$WORK/stderr" || fail "updater-reg $*: $(cat "$WORK/stderr")"; }

PRODUCT='HKLM\SOFTWARE\VELMAR\Velmar Acc'

case_product_key() {
  expect_output "add default" "The operation completed successfully." \
    "$REG" add "$PRODUCT" /ve /d /opt/velmar /f
  expect_output "query product key" "
HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMAR\\Velmar Acc
    (Default)    REG_SZ    /opt/velmar
" "$REG" query "$PRODUCT"
  ok add "$PRODUCT" /v cert /t REG_BINARY /d 64001320 /f
  # As reg.exe, the key and value are shown as they were asked for.
  expect_output "query cert" "
HKEY_LOCAL_MACHINE\\Software\\velmar\\VELMAR ACC
    CERT    REG_BINARY    64001320
" "$REG" query 'hkey_local_machine\Software\velmar\VELMAR ACC' /v CERT
  [ -f "$VELMAR_REGISTRY_DIR/machine.db" ] || fail "machine.db was not made"
  [ ! -e "$VELMAR_REGISTRY_DIR/user.db" ] || fail "user.db made by an HKLM write"
}

case_query_layout() {
  ok add 'hklm\Software\T' /v text /d 'a b' /f
  ok add 'HKEY_local_machine\SOFTWARE\t' /v num /t reg_dword /d 10 /f
  ok add 'HKLM\Software\T' /v hexnum /t REG_DWORD /d 0xFFFFFFFF /f
  ok add 'HKLM\Software\T' /v bin /t REG_BINARY /d 00ff10 /f
  ok add 'HKLM\Software\T' /v path /t REG_EXPAND_SZ /d '%HOME%\bin' /f
  ok add 'HKLM\Software\T' /v empty /f
  ok add 'HKLM\Software\T\Sub2' /f
  ok add 'HKLM\Software\T\sub1' /v inner /d x /f
  expect_output "plain query" "
HKEY_LOCAL_MACHINE\\Software\\T
    text    REG_SZ    a b
    num    REG_DWORD    0xa
    hexnum    REG_DWORD    0xffffffff
    bin    REG_BINARY    00FF10
    path    REG_EXPAND_SZ    %HOME%\\bin
    empty    REG_SZ    

HKEY_LOCAL_MACHINE\\Software\\T\\sub1
HKEY_LOCAL_MACHINE\\Software\\T\\Sub2" "$REG" query 'HKLM\Software\T'
  expect_output "recursive query" "
HKEY_LOCAL_MACHINE\\Software\\T\\SUB1
    inner    REG_SZ    x

HKEY_LOCAL_MACHINE\\Software\\T\\SUB1\\deeper
" bash -c "'$REG' add 'HKLM\\Software\\T\\sub1\\deeper' /f >/dev/null && '$REG' query 'HKLM\\Software\\T\\SUB1' /s"
  expect_output "default not set" "
HKEY_LOCAL_MACHINE\\Software\\T
    (Default)    REG_SZ    (value not set)
" "$REG" query 'HKLM\Software\T' /ve
  expect_output "search" "
HKEY_LOCAL_MACHINE\\Software\\T\\sub1
    inner    REG_SZ    x

End of search: 1 match(es) found." "$REG" query 'HKLM\Software' /v inner /s
  expect_error "missing value" "unable to find" "$REG" query 'HKLM\Software\T' /v nothing
  expect_error "missing key" "unable to find" "$REG" query 'HKLM\Software\None'
}

case_roots() {
  local root
  for root in HKCU HKEY_CURRENT_USER hkcr HKU HKEY_USERS HKCC HKEY_CURRENT_CONFIG; do
    ok add "$root\\Software\\R" /v name /d "$root" /f
  done
  expect_output "HKCU" "
HKEY_CURRENT_USER\\Software\\R
    name    REG_SZ    HKEY_CURRENT_USER
" "$REG" query 'hkcu\Software\R'
  expect_output "HKCR" "
HKEY_CLASSES_ROOT\\Software\\R
    name    REG_SZ    hkcr
" "$REG" query 'HKEY_CLASSES_ROOT\Software\R'
  expect_error "HKLM is its own tree" "unable to find" "$REG" query 'HKLM\Software\R'
  [ -f "$VELMAR_REGISTRY_DIR/user.db" ] || fail "HKCU did not go to user.db"
  rm "$VELMAR_REGISTRY_DIR/user.db"
  expect_error "HKCU lives in user.db" "unable to find" "$REG" query 'HKCU\Software\R'
  ok query 'HKU\Software\R'
}

case_bad_input() {
  ok add 'HKLM\Software\Kept' /v v /d old /f
  expect_error "unknown root" "ERROR: Invalid key name." "$REG" add 'HKXY\Software' /v a /d b /f
  expect_error "remote name" "ERROR: Invalid key name." "$REG" query '\\host\HKLM\Software'
  expect_error "bad type" "ERROR: Invalid type REG_WORD" "$REG" add 'HKLM\Software\Kept' /v v /t REG_WORD /d 1 /f
  expect_error "bad number" "numeric value" "$REG" add 'HKLM\Software\Kept' /v v /t REG_DWORD /d 12x /f
  expect_error "number too big" "numeric value" "$REG" add 'HKLM\Software\Kept' /v v /t REG_DWORD /d 4294967296 /f
  expect_error "bad hex" "hex data" "$REG" add 'HKLM\Software\Kept' /v v /t REG_BINARY /d 6400132 /f
  expect_error "bad hex digit" "hex data" "$REG" add 'HKLM\Software\Kept' /v v /t REG_BINARY /d 0x10 /f
  expect_error "/v and /ve" "ERROR: Invalid syntax." "$REG" add 'HKLM\Software\Kept' /v v /ve /d x /f
  expect_error "/v without name" "ERROR: Invalid syntax." "$REG" add 'HKLM\Software\Kept' /f /v
  expect_error "/d without a value" "/t and /d need /v or /ve" "$REG" add 'HKLM\Software\Kept' /d x /f
  expect_error "two keys" "ERROR: Invalid syntax." "$REG" query 'HKLM\Software\Kept' 'HKLM\Software'
  expect_error "unknown operation" "ERROR: Invalid syntax." "$REG" copy 'HKLM\Software\Kept'
  expect_error "overwrite without /f" "needs /f" "$REG" add 'HKLM\Software\Kept' /v v /d new
  expect_error "delete without /f" "needs /f" "$REG" delete 'HKLM\Software\Kept'
  expect_error "delete a root" "A root key cannot be deleted" "$REG" delete HKLM /f
  expect_error "delete missing value" "unable to find" "$REG" delete 'HKLM\Software\Kept' /v none /f
  expect_output "value kept" "
HKEY_LOCAL_MACHINE\\Software\\Kept
    v    REG_SZ    old
" "$REG" query 'HKLM\Software\Kept'
  # A new value needs no /f.
  ok add 'HKLM\Software\Kept' /v other /d x
  expect_output "usage" "Usage: updater-reg OPERATION [parameters]" bash -c "'$REG' add /? | head -1"
}

case_delete() {
  ok add 'HKLM\Software\D\A\B' /v deep /d 1 /f
  ok add 'HKLM\Software\D' /v one /d 1 /f
  ok add 'HKLM\Software\D' /v two /d 2 /f
  ok add 'HKLM\Software\D' /ve /d default /f
  ok delete 'HKLM\Software\D' /v ONE /f
  ok delete 'HKLM\Software\D' /ve /f
  expect_output "one value left" "
HKEY_LOCAL_MACHINE\\Software\\D
    two    REG_SZ    2

HKEY_LOCAL_MACHINE\\Software\\D\\A" "$REG" query 'HKLM\Software\D'
  ok delete 'HKLM\Software\D' /va /f
  expect_output "values gone, sub keys kept" "
HKEY_LOCAL_MACHINE\\Software\\D

HKEY_LOCAL_MACHINE\\Software\\D\\A" "$REG" query 'HKLM\Software\D'
  ok delete 'hklm\software\d' /f
  expect_error "tree gone" "unable to find" "$REG" query 'HKLM\Software\D\A\B'
  ok query 'HKLM\Software'
}

case_export_import() {
  ok add 'HKLM\Software\E' /ve /d 'C:\Program Files\"quoted"' /f
  ok add 'HKLM\Software\E' /v num /t REG_DWORD /d 3000000000 /f
  ok add 'HKLM\Software\E' /v exp /t REG_EXPAND_SZ /d '%SystemRoot%\系统' /f
  ok add 'HKLM\Software\E' /v long /t REG_BINARY /d "$(printf '%02x' $(seq 0 99))" /f
  ok add 'HKLM\Software\E' /v emptybin /t REG_BINARY /f
  ok add 'HKLM\Software\E\Child' /v 'name "with" \ marks' /d 'x' /f
  ok export 'HKLM\Software\E' first.reg
  head -1 first.reg | grep -q $'^Windows Registry Editor Version 5.00\r$' || fail "export header"
  grep -qF '"num"=dword:b2d05e00' first.reg || fail "dword line: $(grep num first.reg)"
  grep -qF '"exp"=hex(2):25,00,53,00,79,00' first.reg || fail "hex(2) line: $(grep exp first.reg)"
  grep -q '^  ' first.reg || fail "long hex data not continued over lines"
  expect_error "export over a file" "Use /y" "$REG" export 'HKLM\Software\E' first.reg
  ok delete 'HKLM\Software\E' /f
  ok import first.reg
  ok export 'HKLM\Software\E' second.reg /y
  cmp -s first.reg second.reg || { fail "export, import, export differ"; diff first.reg second.reg >&2; }

  # A file as reg.exe writes it: UTF-16LE with a byte-order mark.
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wide]\r\n"w"="宽"\r\n"e"=hex(2):41,00,00,00\r\n' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >wide.reg
  ok import wide.reg
  expect_output "UTF-16LE import" "
HKEY_CURRENT_USER\\Software\\Wide
    w    REG_SZ    宽
    e    REG_EXPAND_SZ    A
" "$REG" query 'HKCU\Software\Wide'

  cat >edit.reg <<'EOF'
Windows Registry Editor Version 5.00

; comments and blank lines are skipped
[-HKEY_LOCAL_MACHINE\Software\E\Child]

[HKLM\Software\E]
"num"=-
"missing"=-
@="new default"
"bin"=hex:01,02,\
  03,04
"ws" = dword:7

[-HKEY_LOCAL_MACHINE\Software\NeverThere]
EOF
  ok import edit.reg
  expect_output "edited" "
HKEY_LOCAL_MACHINE\\Software\\E
    (Default)    REG_SZ    new default
    exp    REG_EXPAND_SZ    %SystemRoot%\\系统
    long    REG_BINARY    $(printf '%02X' $(seq 0 99))
    emptybin    REG_BINARY    
    bin    REG_BINARY    01020304
    ws    REG_DWORD    0x7
" "$REG" query 'HKLM\Software\E'
}

case_bad_reg_files() {
  ok add 'HKLM\Software\Kept' /v v /d old /f
  local body='[HKLM\Software\New]
"a"="1"'
  local line
  for line in '"b"=hex:0g' '"b"=hex:01,,02' '"b"=dword:123456789' '"b"="open' '"b"="x" tail' \
    'b=1' '"b"' '"b"=hex(2):41' '"b"=text' '[HKXX\Software]' '[HKLM\Software' '[-HKLM]' \
    '"b"=hex:01,\'; do
    printf 'Windows Registry Editor Version 5.00\n\n%s\n%s\n' "$body" "$line" >bad.reg
    expect_error "bad line $line" "bad.reg, line 5" "$REG" import bad.reg
  done
  printf 'Windows Registry Editor Version 5.00\n"a"="1"\n' >bad.reg
  expect_error "value before key" "line 2: a value comes before" "$REG" import bad.reg
  printf 'REGEDIT4\n\n[HKLM\\Software\\New]\n' >bad.reg
  expect_error "old header" "line 1: the file does not begin" "$REG" import bad.reg
  printf '\xff\xfe\x00\xd8' >bad.reg
  expect_error "broken UTF-16" "not valid UTF-16" "$REG" import bad.reg
  : >empty.reg
  expect_error "empty file" "does not begin" "$REG" import empty.reg
  expect_error "missing file" "Cannot read the file" "$REG" import "$WORK/none.reg"
  expect_error "nothing written" "unable to find" "$REG" query 'HKLM\Software\New'
}

case_protected_hives() {
  ok add "$PRODUCT" /ve /d /opt/velmar /f
  chmod a-w "$VELMAR_REGISTRY_DIR/machine.db"
  expect_error "write to read-only hive" "ERROR: Access is denied." "$REG" add "$PRODUCT" /ve /d x /f
  expect_error "delete in read-only hive" "ERROR: Access is denied." "$REG" delete "$PRODUCT" /f
  printf 'Windows Registry Editor Version 5.00\n\n[HKCU\\Software\\A]\n\n[HKLM\\Software\\B]\n' >two.reg
  expect_error "import into read-only hive" "ERROR: Access is denied." "$REG" import two.reg
  [ ! -e "$VELMAR_REGISTRY_DIR/user.db" ] || fail "import wrote before it found the hive protected"
  expect_output "reads still work" "
HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMAR\\Velmar Acc
    (Default)    REG_SZ    /opt/velmar
" "$REG" query "$PRODUCT"
  chmod u+w "$VELMAR_REGISTRY_DIR/machine.db"

  head -c 5000 /dev/urandom >"$VELMAR_REGISTRY_DIR/machine.db"
  expect_error "query a damaged hive" "registry database is corrupt" "$REG" query "$PRODUCT"
  expect_error "write a damaged hive" "registry database is corrupt" "$REG" add "$PRODUCT" /ve /d x /f
  [ ! -e "$VELMAR_REGISTRY_DIR/machine.db-journal" ] || fail "journal left beside a damaged hive"
}

case_concurrent_writers() {
  local writer
  for writer in 1 2; do
    (for i in $(seq 1 100); do
      "$REG" add 'HKLM\Software\Race' /v "w$writer-$i" /t REG_DWORD /d "$i" /f >/dev/null || echo "write $writer-$i failed"
    done) >"$WORK/writer$writer.log" 2>&1 &
  done
  wait
  cat "$WORK"/writer*.log >&2
  [ ! -s "$WORK/writer1.log" ] && [ ! -s "$WORK/writer2.log" ] || fail "writes failed"
  local count
  count=$("$REG" query 'HKLM\Software\Race' | grep -c 'REG_DWORD')
  [ "$count" = 200 ] || fail "$count of 200 values present"
  local check
  check=$(sqlite3 "$VELMAR_REGISTRY_DIR/machine.db" 'PRAGMA integrity_check')
  [ "$check" = ok ] || fail "integrity check: $check"
}

"case_$CASE"
exit $FAILED
