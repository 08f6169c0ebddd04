#!/usr/bin/env bash
# Measures what the hhc stand-in adds to a bare chmcmd run on the same project
# of the largest size the tool writes (8,186 pages): staging (links, copies,
# the locale check), judging, reading the book back and moving it.
#   tools/hhc/measure_overhead.sh [PAGES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."

pages=${1:-8186}
runs=${2:-5}
build=build/hhc-measure

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DINKBINDER_QT=OFF >/dev/null
cmake --build "$build" -j 2 --target inkbinder-cli hhc >/dev/null
bin=$PWD/$build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/hhc-measure-XXXXXX")
trap 'rm -rf "$work"' EXIT
src="$work/源 pages"
bare=$work/bare
mkdir -p "$src" "$bare"

# Pages of about 2 KB each, Chinese and English names and titles, in code page 936.
/usr/bin/python3 - "$src" "$pages" <<'EOF'
import sys
folder, n = sys.argv[1], int(sys.argv[2])
body = ("第{0}页的正文。Inkbinder 把文件夹里的页面编成一本书。\r\n" * 40)
for i in range(1, n + 1):
    name = ("第%d章.txt" if i % 2 else "page %d.txt") % i
    title = ("第%d章 标题" if i % 3 else "Page %d Title") % i
    text = "<html><head><title>%s</title></head><body>\r\n%s</body></html>\r\n" % (title, body.format(i))
    with open("%s/%s" % (folder, name), "wb") as f:
        f.write(text.encode("cp936"))
EOF

# The tool's own three files, kept by a compiler that does nothing.
cat >"$work/nothing" <<'EOF'
#!/bin/sh
exit 0
EOF
chmod +x "$work/nothing"
"$bin/inkbinder-cli" --keep-sources --compiler "$work/nothing" --title "测量 书" "$src" >/dev/null 2>&1 || true
[ -f "$src/chm_hhp.hhp" ] || { echo "measure: no project was written" >&2; exit 1; }

# Bare chmcmd gets what the stand-in arranges: the project with UTF-8 page names,
# no binary index and an empty last file, and the GBK locale.
/usr/bin/python3 - "$src" "$bare" <<'EOF'
import os, sys
src, bare = sys.argv[1], sys.argv[2]
for name in os.listdir(src):
    if name != "chm_hhp.hhp":
        os.link(os.path.join(src, name), os.path.join(bare, name))
out, section = [], None
for line in open(os.path.join(src, "chm_hhp.hhp"), "rb").read().split(b"\r\n"):
    if line.startswith(b"["):
        if section == b"[FILES]":
            out.append(b"#end")
        section = line
        out.append(line)
        if line == b"[OPTIONS]":
            out.append(b"Binary Index=No")
    elif section == b"[FILES]" and line:
        out.append(line.decode("cp936").encode("utf-8"))
    else:
        out.append(line)
open(os.path.join(bare, "chm_hhp.hhp"), "wb").write(b"\r\n".join(out))
open(os.path.join(bare, "#end"), "wb").close()
EOF
locpath=${XDG_CACHE_HOME:-$HOME/.cache}/inkbinder/locale
[ -e "$locpath/zh_CN.GBK/LC_CTYPE" ] || bash scripts/setup.sh >/dev/null

# Wall time swings with whatever else the machine runs; CPU time (user + system,
# chmcmd included: it is waited for) is the steadier measure of added work.
timed() {  # timed OUT-VAR command...: runs it, sets "wall cpu"
  local var=$1; shift
  local t; t=$(mktemp)
  /usr/bin/time -f '%e %U %S' -o "$t" "$@" >/dev/null 2>&1 || true
  printf -v "$var" '%s' "$(awk 'END { printf "%.2f %.2f", $1, $2 + $3 }' "$t")"
  rm -f "$t"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
minimum() { sort -n | head -1; }

mkdir -p "$work/fakebin"
cp "$work/nothing" "$work/fakebin/chmcmd"
bare_runs=() hhc_runs=() stage_runs=()
for ((r = 1; r <= runs; r++)); do
  rm -f "$bare"/*.chm "$src"/*.chm
  timed one env -C "$bare" LOCPATH="$locpath" LC_ALL=zh_CN.GBK chmcmd chm_hhp.hhp
  bare_runs+=("$one")
  timed one "$bin/hhc" "$src/chm_hhp.hhp"
  [ -s "$src/测量 书.chm" ] || { echo "measure: hhc wrote no book" >&2; exit 1; }
  hhc_runs+=("$one")
  # The stand-in with a chmcmd that does nothing: staging, locale check, clean-up.
  timed one env PATH="$work/fakebin:$PATH" "$bin/hhc" "$src/chm_hhp.hhp"
  stage_runs+=("$one")
done

col_median() { printf '%s\n' "${@:2}" | awk -v c="$1" '{ print $c }' | median; }
col_min() { printf '%s\n' "${@:2}" | awk -v c="$1" '{ print $c }' | minimum; }
bare_book=$bare/$(printf '测量 书.chm' | iconv -t CP936)
size_of() { stat -c %s "$1"; }
percent() { awk -v h="$1" -v b="$2" 'BEGIN { printf "%.1f", 100 * (h - b) / b }'; }
bw=$(col_median 1 "${bare_runs[@]}") bc=$(col_median 2 "${bare_runs[@]}")
hw=$(col_median 1 "${hhc_runs[@]}") hc=$(col_median 2 "${hhc_runs[@]}")
sw=$(col_median 1 "${stage_runs[@]}") sc=$(col_median 2 "${stage_runs[@]}")
echo "pages: $pages, runs: $runs, medians of wall / CPU seconds"
echo "bare chmcmd:             $bw / $bc"
echo "hhc stand-in:            $hw / $hc"
echo "stand-in, chmcmd no-op:  $sw / $sc  (staging, locale check, clean-up)"
echo "overhead:                wall $(percent "$hw" "$bw")%, CPU $(percent "$hc" "$bc")%"
echo "overhead of the fastest: wall $(percent "$(col_min 1 "${hhc_runs[@]}")" "$(col_min 1 "${bare_runs[@]}")")%, CPU $(percent "$(col_min 2 "${hhc_runs[@]}")" "$(col_min 2 "${bare_runs[@]}")")%"
echo "book sizes:              bare $(size_of "$bare_book"), stand-in $(size_of "$src/测量 书.chm") bytes"
echo "each run (wall cpu):     bare ${bare_runs[*]} | hhc ${hhc_runs[*]} | no-op ${stage_runs[*]}"
