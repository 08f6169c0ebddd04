#!/usr/bin/env bash
# Speed and memory benchmark (not part of the tests: nothing here asserts a time).
#
#   scripts/bench.sh [PAGES...]      default: 1000 8186 100000
#   BENCH_ROUNDS (default 5) and BENCH_COMPILE_RUNS (default 3) set the repeats;
#   BENCH_CONVERT_PAGES (default 8186) the size of the compiled book.
#
# 1. Writing the three source files, against the floor of opening and reading
#    every page once, in the same order, pages warm in the page cache for both.
#    Each size and each side runs in a process of its own (peak memory is that
#    process's), several rounds alternating the two sides; each process
#    reports the median of its runs and the table shows the median of those.
# 2. Compiling each size, with Chinese and with ASCII page names: inkbinder-hhc
#    (the built-in compiler) against bare chmcmd on the same project: time, peak
#    memory, book size; both books read back.
# 3. The whole conversion of 8,186 pages with inkbinder-cli.
# 4. Real text: Debian's Chinese man pages in code page 936 (one page per man
#    page), text with few repeats (random letters from a small alphabet),
#    100,000 pages of prose (slices of the man pages, 150 MB) and 100,000
#    generated pages. For each: the book from hhc against bare
#    chmcmd's (time, peak memory, size); the LZX stream alone on the same bytes
#    (the pages one after another) from lzx-bench at 1 and 2 threads against
#    wimlib's LZX (64 KiB chunks, reset as our books do, one thread) at levels
#    20 and 100 when wimtools is installed; and the whole conversion with
#    inkbinder-cli (wall time, CPUs used, peak memory), beside two floors under
#    it: reading the pages once, and chmlib alone reading the book back.
#    BENCH_ONLY_CORPORA=1 runs this part alone; BENCH_CORPORA (default
#    "man few prose 100000") names the corpora; BENCH_CHMCMD=0 leaves chmcmd
#    out of it (its 100,000-page books take many minutes).
#
# The page folders (about 2 KB a page; 100,000 pages are about 200 MB) live in
# a temporary folder that is removed at the end, also after a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 8186 100000)
rounds=${BENCH_ROUNDS:-5}
compile_runs=${BENCH_COMPILE_RUNS:-3}
convert_pages=${BENCH_CONVERT_PAGES:-8186}
title=基准测试

bash scripts/setup.sh >/dev/null
locpath=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/inkbinder/locale

build=build/bench
# Testing on, so that the corpus check below can be built; only the targets
# named here are compiled.
cmake --preset bench -B "$build" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j 2 --target inkbinder-bench bench_test inkbinder-cli inkbinder-hhc lzx-bench >/dev/null
bin=$PWD/$build/bin
"$bin/bench_test" >/dev/null || { echo "bench: the page generator fails its test" >&2; exit 1; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
work=$(mktemp -d "${TMPDIR:-/tmp}/inkbinder-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# field KEY LINE: the value of KEY=... in one result line.
field() { tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p"; }
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
max() { sort -g | tail -n 1; }
ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

only_corpora=${BENCH_ONLY_CORPORA:-}
[ -z "$only_corpora" ] || sizes=()

# ---- 1. writers against the read floor ------------------------------------
writer_rows=()
for pages in "${sizes[@]}"; do
  folder=$work/p$pages
  reps=9
  [ "$pages" -le 20000 ] || reps=5
  echo "bench: $pages pages: making them" >&2
  "$bin/inkbinder-bench" make "$folder" "$pages" >/dev/null
  floor=() write=() floor_cpu=() write_cpu=() contents=() index=() project=() list=()
  floor_rss=() write_rss=()
  for ((r = 1; r <= rounds; r++)); do
    echo "bench: $pages pages: round $r of $rounds" >&2
    f=$("$bin/inkbinder-bench" floor "$folder" "$reps")
    w=$("$bin/inkbinder-bench" write "$folder" "$reps")
    floor+=("$(field median_s "$f")") floor_cpu+=("$(field cpu_s "$f")")
    floor_rss+=("$(field peak_rss_kib "$f")")
    write+=("$(field median_s "$w")") write_cpu+=("$(field cpu_s "$w")")
    write_rss+=("$(field peak_rss_kib "$w")")
    contents+=("$(field contents_s "$w")") index+=("$(field index_s "$w")")
    project+=("$(field project_s "$w")") list+=("$(field list_s "$w")")
  done
  fl=$(printf '%s\n' "${floor[@]}" | median)
  wr=$(printf '%s\n' "${write[@]}" | median)
  flc=$(printf '%s\n' "${floor_cpu[@]}" | median)
  wrc=$(printf '%s\n' "${write_cpu[@]}" | median)
  writer_rows+=("$(printf '%7s %9s %9s %6s %7s %9s %9s %9s %8s %10s %10s' "$pages" \
    "$(ms "$fl")" "$(ms "$wr")" "$(ratio "$wr" "$fl")" "$(ratio "$wrc" "$flc")" \
    "$(ms "$(printf '%s\n' "${contents[@]}" | median)")" \
    "$(ms "$(printf '%s\n' "${index[@]}" | median)")" \
    "$(ms "$(printf '%s\n' "${project[@]}" | median)")" \
    "$(ms "$(printf '%s\n' "${list[@]}" | median)")" \
    "$(mib "$(printf '%s\n' "${floor_rss[@]}" | max)")" \
    "$(mib "$(printf '%s\n' "${write_rss[@]}" | max)")")")
  rm -rf "$folder"  # to spare the disk
done

# ---- 2. the built-in compiler against bare chmcmd ---------------------------
# Each size twice, with Chinese page names and with ASCII ones. Bare chmcmd
# gets what it needs to compile the same project right: page names in code
# page 936 and the GBK locale; the pages are hard links, so nothing is copied.
# inkbinder-hhc (the built-in compiler, the reader check included) compiles the project
# where it lies. Sizes above 20,000 pages run once.

# timed OUT_ELAPSED OUT_RSS COMMAND...: wall seconds and peak memory (the
# largest of the process and the children it waited for).
timed() {
  local t=$work/time.out
  /usr/bin/time -f '%e %M' -o "$t" "${@:3}" >/dev/null 2>&1 || true
  # A non-zero exit (inkbinder-hhc's success is 1) adds a line before the figures.
  read -r "$1" "$2" < <(tail -n 1 "$t")
}

# Both books read back through chmlib: contents entries whose page the book
# holds, and index sitemap entries, so that each is known to be whole. A
# reader looks a page up by its UTF-8 name (utf8); bare chmcmd stores the code
# page bytes instead (cp936), so its book is counted that way.
book_counts() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, re, sys
from chm import chm, chmlib
book = chm.CHMFile()
book.file = chmlib.chm_open(os.fsencode(sys.argv[1]))  # the bare book's name is code page bytes
def read(path):
    result, ui = chmlib.chm_resolve_object(book.file, path)
    return book.RetrieveObject(ui)[1] if result == chmlib.CHM_RESOLVE_SUCCESS else b""
locals_of = lambda data: re.findall(rb'name="Local" value="([^"]*)"', data)
contents = locals_of(read(b"/chm_hhc.hhc"))
index = locals_of(read(b"/chm_hhk.hhk"))
name = (lambda l: l.decode("cp936").encode("utf-8")) if sys.argv[2] == "utf8" else (lambda l: l)
found = sum(1 for l in contents
            if chmlib.chm_resolve_object(book.file, b"/" + name(l))[0] == chmlib.CHM_RESOLVE_SUCCESS)
print("%d/%d" % (found, len(index)))
PY
}

gbk_title=$(printf '%s' "$title" | iconv -f UTF-8 -t CP936)
compile_rows=()
for pages in "${sizes[@]}"; do
  echo "bench: $pages pages: making them for the compilers" >&2
  "$bin/inkbinder-bench" make "$work/c$pages" "$pages" >/dev/null
  "$bin/inkbinder-bench" ascii-links "$work/c$pages" "$work/a$pages" >/dev/null
  runs=$compile_runs
  [ "$pages" -le 20000 ] || runs=1
  for kind in Chinese ASCII; do
    folder=$work/c$pages
    [ "$kind" = ASCII ] && folder=$work/a$pages
    "$bin/inkbinder-bench" write "$folder" 1 >/dev/null  # the three source files
    bare=$work/bare
    "$bin/inkbinder-bench" gbk-links "$folder" "$bare" >/dev/null
    bare_book=$bare/$gbk_title.chm
    book=$folder/$title.chm
    bare_s=() ours_s=() bare_kib=() ours_kib=()
    for ((r = 1; r <= runs; r++)); do
      echo "bench: $pages pages, $kind names: compile round $r of $runs" >&2
      rm -f "$bare_book"
      timed e k env -C "$bare" LOCPATH="$locpath" LC_ALL=zh_CN.GBK chmcmd chm_hhp.hhp
      [ -s "$bare_book" ] || { echo "bench: bare chmcmd wrote no book" >&2; exit 1; }
      bare_s+=("$e") bare_kib+=("$k")
      rm -f "$book"
      timed e k "$bin/inkbinder-hhc" "$folder/chm_hhp.hhp"
      [ -s "$book" ] || { echo "bench: inkbinder-hhc wrote no book" >&2; exit 1; }
      ours_s+=("$e") ours_kib+=("$k")
    done
    bare_counts=$(book_counts "$bare_book" cp936)
    ours_counts=$(book_counts "$book" utf8)
    if [ "$bare_counts" != "$pages/$pages" ] || [ "$ours_counts" != "$pages/$pages" ]; then
      echo "bench: a book is incomplete (entries/index): bare $bare_counts, ours $ours_counts" >&2
      exit 1
    fi
    bm=$(printf '%s\n' "${bare_s[@]}" | median)
    om=$(printf '%s\n' "${ours_s[@]}" | median)
    bsize=$(stat -c %s "$bare_book")
    osize=$(stat -c %s "$book")
    compile_rows+=("$(printf '%7s %-7s %9s %9s %7s %10s %10s %11s %11s %7s' "$pages" "$kind" \
      "$bm" "$om" "$(ratio "$om" "$bm")" \
      "$(mib "$(printf '%s\n' "${bare_kib[@]}" | max)")" "$(mib "$(printf '%s\n' "${ours_kib[@]}" | max)")" \
      "$bsize" "$osize" "$(ratio "$osize" "$bsize")")")
    rm -rf "$bare"
  done
  [ "$pages" -eq "$convert_pages" ] || rm -rf "$work/c$pages" "$work/a$pages"
done

# ---- 3. the whole conversion (inkbinder-cli with inkbinder-hhc) -----------------------
src=$work/c$convert_pages
[ -n "$only_corpora" ] || [ -d "$src" ] || "$bin/inkbinder-bench" make "$src" "$convert_pages" >/dev/null
cli_s=() cli_kib=()
for ((r = 1; r <= compile_runs && ${#sizes[@]} > 0; r++)); do
  echo "bench: $convert_pages pages: whole conversion $r of $compile_runs" >&2
  rm -f "$src/$title.chm"
  timed e k "$bin/inkbinder-cli" --title "$title" "$src"
  [ -s "$src/$title.chm" ] || { echo "bench: inkbinder-cli wrote no book" >&2; exit 1; }
  cli_s+=("$e") cli_kib+=("$k")
done

# ---- 4. real text, against chmcmd and wimlib --------------------------------
# make_corpus NAME FOLDER: the pages of one corpus.
make_corpus() {
  mkdir -p "$2"
  case $1 in
    man)
      local f
      for f in /usr/share/man/zh_CN/man*/*; do
        zcat -f "$f" | iconv -c -f UTF-8 -t CP936 >"$2/$(basename "${f%.gz}").txt"
      done
      ;;
    few)
      /usr/bin/python3 - "$2" <<'PY'
import random, sys
rng = random.Random(20)
for page in range(2000):  # 6,800 bytes each: 13.6 MB
    lines = [bytes(rng.choice(b"abcdef ") for _ in range(70)) + b"\r\n" for _ in range(94)]
    open("%s/p%04d.txt" % (sys.argv[1], page), "wb").write(b"".join(lines)[:6800])
PY
      ;;
    100000)
      rmdir "$2"
      "$bin/inkbinder-bench" make "$2" 100000 >/dev/null
      ;;
    prose)
      # Real prose at the generated corpus's page count: each page a title
      # line and a slice of the man pages (code page 936, CR LF) from a
      # pseudo-random line on, so a 64 KiB window holds unrelated slices
      # and the pages compress like the man pages, not like one page
      # repeated.
      local f
      for f in /usr/share/man/zh_CN/man*/*; do
        zcat -f "$f" | iconv -c -f UTF-8 -t CP936
      done >"$work/prose.src"
      /usr/bin/python3 - "$work/prose.src" "$2" <<'PY'
import random, re, sys
text = open(sys.argv[1], "rb").read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
body = 1480  # with the title line, about 1,500 bytes a page: 150 MB
starts = [0] + [m.end() for m in re.finditer(b"\r\n", text) if m.end() + body <= len(text)]
rng = random.Random(936)
for page in range(100000):
    start = rng.choice(starts)
    piece = text[start:start + body]
    try:
        piece.decode("cp936")
    except UnicodeDecodeError as e:  # a character cut at the end
        piece = piece[:e.start]
    title = ("<title>第%d节</title>\r\n" % (page + 1)).encode("cp936")
    open("%s/第%d页.txt" % (sys.argv[2], page + 1), "wb").write(title + piece)
PY
      rm -f "$work/prose.src"
      ;;
  esac
}

# wim_lzx FILE LEVEL: "bytes user_s" of wimlib's LZX stream for FILE.
wim_lzx() {
  local dir=$work/wim
  rm -rf "$dir" "$work/x.wim" && mkdir "$dir" && ln "$1" "$dir/data"
  /usr/bin/time -f '%U' -o "$work/wim.time" wimcapture "$dir" "$work/x.wim" --solid \
    --solid-compress="LZX:$2" --solid-chunk-size=64K --threads=1 >/dev/null 2>&1
  echo "$(wiminfo "$work/x.wim" --blobs | sed -n 's/^Solid resource *= [0-9]* => \([0-9]*\) bytes.*/\1/p') $(tail -n 1 "$work/wim.time")"
}

corpus_rows=() lzx_rows=() convert_rows=()
with_chmcmd=${BENCH_CHMCMD:-1}
have_wim=
command -v wimcapture >/dev/null && have_wim=1
for corpus in ${BENCH_CORPORA:-man few prose 100000}; do
  folder=$work/k$corpus
  echo "bench: corpus $corpus: making it" >&2
  make_corpus "$corpus" "$folder"
  pages=$(find "$folder" -name '*.txt' | wc -l)

  # The LZX stream alone, on the pages one after another.
  find "$folder" -name '*.txt' -print0 | LC_ALL=C sort -z | xargs -0 cat >"$work/bytes"
  bytes=$(stat -c %s "$work/bytes")
  one=$("$bin/lzx-bench" --file "$work/bytes" --reps 3 --threads 1 | tail -n 1)
  two=$("$bin/lzx-bench" --file "$work/bytes" --reps 3 --threads 2 | tail -n 1)
  w20="- -" w100="- -"
  if [ -n "$have_wim" ]; then
    echo "bench: corpus $corpus: wimlib" >&2
    w20=$(wim_lzx "$work/bytes" 20)
    w100=$(wim_lzx "$work/bytes" 100)
  fi
  read -r w20b w20s <<<"$w20"
  read -r w100b w100s <<<"$w100"
  lzx_rows+=("$(printf '%-7s %11s %10s %7s %7s %7s %6s %10s %7s %10s %7s' "$corpus" "$bytes" \
    "$(field size "$one")" "$(field cpu_s "$one")" "$(field wall_s "$one")" "$(field wall_s "$two")" \
    "$(ratio "$(field cpu_s "$two")" "$(field wall_s "$two")")" "$w20b" "$w20s" "$w100b" "$w100s")")
  rm -f "$work/bytes"

  # Whole books: hhc against bare chmcmd on the same project.
  "$bin/inkbinder-bench" write "$folder" 1 >/dev/null
  bare=$work/bare
  "$bin/inkbinder-bench" gbk-links "$folder" "$bare" >/dev/null
  bare_book=$bare/$gbk_title.chm
  book=$folder/$title.chm
  echo "bench: corpus $corpus: chmcmd and hhc" >&2
  bare_e=- bare_k= bsize=- bare_counts=$pages/$pages
  if [ "$with_chmcmd" = 1 ]; then
    timed bare_e bare_k env -C "$bare" LOCPATH="$locpath" LC_ALL=zh_CN.GBK chmcmd chm_hhp.hhp
    bare_counts=$(book_counts "$bare_book" cp936)
    bsize=$(stat -c %s "$bare_book")
  fi
  timed ours_e ours_k "$bin/inkbinder-hhc" "$folder/chm_hhp.hhp"
  ours_counts=$(book_counts "$book" utf8)
  if [ "$bare_counts" != "$pages/$pages" ] || [ "$ours_counts" != "$pages/$pages" ]; then
    echo "bench: a $corpus book is incomplete (entries/index): bare $bare_counts, ours $ours_counts" >&2
    exit 1
  fi
  osize=$(stat -c %s "$book")
  # Two floors under the whole conversion's time, each on one thread: reading
  # every page once (the command line and the compiler each do it), and
  # chmlib alone looking every page of the book up and reading it (what the
  # compile's check asks of it).
  read_once=$(field median_s "$("$bin/inkbinder-bench" floor "$folder" 3)")
  read_back=$(field lookup_read_s "$("$bin/inkbinder-bench" read-back "$book" 3)")
  corpus_rows+=("$(printf '%-7s %7s %9s %9s %10s %10s %11s %11s %7s' "$corpus" "$pages" "$bare_e" "$ours_e" \
    "$([ -n "$bare_k" ] && mib "$bare_k" || echo -)" "$(mib "$ours_k")" "$bsize" "$osize" \
    "$([ "$bsize" != - ] && ratio "$osize" "$bsize" || echo -)")")
  rm -rf "$bare" "$book"

  # The whole conversion, the way a user runs it: medians of wall and CPU
  # time, the largest peak, and the wall time against wimlib's level 20 on
  # the same bytes (the goal is at most 1.5).
  walls=() cpus=() peaks=()
  for ((r = 1; r <= compile_runs; r++)); do
    echo "bench: corpus $corpus: whole conversion $r of $compile_runs" >&2
    rm -f "$folder"/chm_hh?.hh? "$book"
    /usr/bin/time -f '%e %U %S %M' -o "$work/cli.time" "$bin/inkbinder-cli" --title "$title" "$folder" >/dev/null 2>&1
    [ -s "$book" ] || { echo "bench: inkbinder-cli wrote no $corpus book" >&2; exit 1; }
    read -r e u s k < <(tail -n 1 "$work/cli.time")
    walls+=("$e") cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')") peaks+=("$k")
  done
  e=$(printf '%s\n' "${walls[@]}" | median)
  c=$(printf '%s\n' "${cpus[@]}" | median)
  convert_rows+=("$(printf '%-7s %7s %8s %7s %6s %10s %8s %8s %9s %9s' "$corpus" "$pages" "$e" "$c" "$(ratio "$c" "$e")" \
    "$(mib "$(printf '%s\n' "${peaks[@]}" | max)")" "$w20s" "$([ "$w20s" != - ] && ratio "$e" "$w20s" || echo -)" \
    "$read_once" "$read_back")")
  rm -rf "$folder"
done

# ---- table ------------------------------------------------------------------
echo
echo "Load average before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg) (on $(nproc) cores)"
if [ -z "$only_corpora" ]; then
  echo "Writing chm_hhc.hhc, chm_hhk.hhk and chm_hhp.hhp against reading every page once"
  echo "(ms: wall-clock medians; ratio: writing / floor, wall and CPU; MiB: peak resident memory)"
  printf '%7s %9s %9s %6s %7s %9s %9s %9s %8s %10s %10s\n' pages "floor ms" "write ms" ratio \
    "cpu rt" "contents" index project "list ms" "floor MiB" "write MiB"
  printf '%s\n' "${writer_rows[@]}"
  echo
  echo "Compiling: bare chmcmd against hhc, the built-in compiler (s: wall-clock medians of"
  echo "$compile_runs runs, 1 above 20,000 pages; MiB: peak resident memory; bytes: the book)"
  printf '%7s %-7s %9s %9s %7s %10s %10s %11s %11s %7s\n' pages names "chmcmd s" "hhc s" "/ bare" \
    "chmcmd MiB" "hhc MiB" "chmcmd B" "hhc B" "size"
  printf '%s\n' "${compile_rows[@]}"
  echo
  echo "Whole conversion of $convert_pages pages with inkbinder-cli: $(printf '%s\n' "${cli_s[@]}" | median) s," \
    "peak $(mib "$(printf '%s\n' "${cli_kib[@]}" | max)") MiB"
fi
echo
echo "Real text: bare chmcmd against hhc (one run each; s: wall clock; MiB: peak resident memory)"
printf '%-7s %7s %9s %9s %10s %10s %11s %11s %7s\n' corpus pages "chmcmd s" "hhc s" "chmcmd MiB" "hhc MiB" \
  "chmcmd B" "hhc B" size
printf '%s\n' "${corpus_rows[@]}"
echo
echo "The LZX stream alone on the same bytes: ours (lzx-bench, medians of 3; CPU seconds on one"
echo "thread, wall seconds on 1 and 2, CPUs the 2 threads used) against wimlib's LZX at levels 20"
echo "and 100 (one thread, user s)"
printf '%-7s %11s %10s %7s %7s %7s %6s %10s %7s %10s %7s\n' corpus input ours "cpu s" "1t s" "2t s" \
  "2t CPUs" "wim20" "cpu s" "wim100" "cpu s"
printf '%s\n' "${lzx_rows[@]}"
echo
echo "Whole conversion with inkbinder-cli (medians of $compile_runs; s: wall clock; cpu s: user + system;"
echo "CPUs: cpu s / s; wim20 s: wimlib's level 20 on the same bytes, one thread, user s; floors, one"
echo "thread, medians of 3: read once s: reading every page once, done by inkbinder-cli and by hhc;"
echo "read-back s: chmlib alone looking every page of the book up and reading it, as the check does)"
printf '%-7s %7s %8s %7s %6s %10s %8s %8s %9s %9s\n' corpus pages "s" "cpu s" CPUs "peak MiB" "wim20 s" "/ wim20" \
  "read once" "read-back"
printf '%s\n' "${convert_rows[@]}"
